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
    dlg->UpdateData(true);
    dlg->m_editLog.Enable(true);
    dlg->m_btnOK.Enable(true);
    dlg->m_btnOK.Focus();
    if (dlg->m_bAutoClose) {
        dlg->DestroyWindow();
        g_pProgressDlg = nullptr;
    }
}
