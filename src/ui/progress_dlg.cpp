#include "ui/progress_dlg.h"

#include <new>

#include "resource.h"

int g_bShowProgress = 0;
CProgressDlg* g_pProgressDlg = nullptr;

CProgressDlg::CProgressDlg(HWND parent) : CDialogBase(IDD_PROGRESS, parent) {}

void CProgressDlg::DoDataExchange(CDataExchange& dx) {
    ExchangeControl(dx, IDC_LOG, m_editLog);
    ExchangeControl(dx, IDOK, m_btnOK);
    ExchangeCheck(dx, IDC_AUTOCLOSE, m_bAutoClose);
}

void CProgressDlg::PostNcDestroy() { delete this; }

// Cancel, the close box and Escape only ask the engine to stop; the window
// stays open.
void CProgressDlg::OnCancel() { m_bAbort = 1; }

void CProgressDlg::AppendLog(std::wstring_view text) {
    m_pendingLog += text;
    if (std::chrono::steady_clock::now() - m_lastLogUpdate >= kLogInterval) FlushLog();
}

void CProgressDlg::FlushLog() {
    if (!m_pendingLog.empty()) {
        // Appended at the caret, which stays behind the last text while the
        // log is disabled; no undo, line ends as the engine wrote them.
        m_editLog.Send(EM_SETSEL, static_cast<WPARAM>(-1), -1);
        m_editLog.Send(EM_SCROLLCARET);
        m_editLog.Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(m_pendingLog.c_str()));
        m_pendingLog.clear();
    }
    m_lastLogUpdate = std::chrono::steady_clock::now();
}

void OpenProgress(int show) {
    g_bShowProgress = show;
    if (!show) return;
    auto* dlg = new (std::nothrow) CProgressDlg();
    if (dlg == nullptr) {
        g_bShowProgress = 0;
        return;
    }
    if (!dlg->Create()) {
        delete dlg;  // no window was made, so nothing deleted it
        g_bShowProgress = 0;
        return;
    }
    g_pProgressDlg = dlg;
    dlg->m_btnOK.Enable(false);
    dlg->m_editLog.Enable(false);
    // The default limit (32,767 characters) would drop the output of a
    // large run; hold whatever the engine writes.
    dlg->m_editLog.Send(EM_SETLIMITTEXT, 0);
    dlg->m_bAbort = 0;
}

void FinishProgress() {
    if (!g_bShowProgress) return;
    CProgressDlg* dlg = g_pProgressDlg;
    dlg->FlushLog();
    dlg->UpdateData(true);
    dlg->m_editLog.Enable(true);
    dlg->m_btnOK.Enable(true);
    dlg->m_btnOK.Focus();
    if (dlg->m_bAutoClose) {
        dlg->DestroyWindow();
        g_pProgressDlg = nullptr;
    }
}
