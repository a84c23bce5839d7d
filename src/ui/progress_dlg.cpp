#include "ui/progress_dlg.h"

#include <algorithm>
#include <new>
#include <vector>

#include "resource.h"
#include "ui/window_placement.h"

int g_bShowProgress = 0;
CProgressDlg* g_pProgressDlg = nullptr;

namespace {
constexpr UINT_PTR kFlushTimer = 1;
}  // namespace

CProgressDlg::CProgressDlg(HWND parent) : CDialogBase(IDD_PROGRESS, parent) {}

std::span<const MessageEntry> CProgressDlg::MessageTable() const {
    static const MessageEntry table[] = {
        OnMessage<&CProgressDlg::OnTimer>(WM_TIMER),
    };
    return table;
}

void CProgressDlg::DoDataExchange(CDataExchange& dx) {
    ExchangeControl(dx, IDC_LOG, m_editLog);
    ExchangeControl(dx, IDOK, m_btnOK);
    ExchangeCheck(dx, IDC_AUTOCLOSE, m_bAutoClose);
}

namespace {

// The modal loops that run while a progress window is open (the main
// window's, the prompts', the engine's message pump) give keyboard
// navigation to their own dialog only. This hook gives the open progress
// windows theirs: Enter, Escape, Tab and the access key.
std::vector<HWND> g_keyboardWindows;
HHOOK g_keyboardHook = nullptr;

LRESULT CALLBACK RouteDialogKeys(int code, WPARAM removal, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && removal == PM_REMOVE && message->message >= WM_KEYFIRST &&
        message->message <= WM_KEYLAST) {
        HWND top = GetAncestor(message->hwnd, GA_ROOT);
        if (std::find(g_keyboardWindows.begin(), g_keyboardWindows.end(), top) !=
                g_keyboardWindows.end() &&
            IsDialogMessageW(top, message))
            message->message = WM_NULL;
    }
    return CallNextHookEx(g_keyboardHook, code, removal, lParam);
}

void AddKeyboardWindow(HWND window) {
    if (g_keyboardWindows.empty())
        g_keyboardHook = SetWindowsHookExW(WH_GETMESSAGE, &RouteDialogKeys, nullptr,
                                           GetCurrentThreadId());
    g_keyboardWindows.push_back(window);
}

void RemoveKeyboardWindow(HWND window) {
    std::erase(g_keyboardWindows, window);
    if (g_keyboardWindows.empty() && g_keyboardHook) {
        UnhookWindowsHookEx(g_keyboardHook);
        g_keyboardHook = nullptr;
    }
}

}  // namespace

void CProgressDlg::OnDestroy() {
    RemoveKeyboardWindow(m_hWnd);
    CDialogBase::OnDestroy();
}

void CProgressDlg::PostNcDestroy() { delete this; }

// OK closes the window only once the run is over (OK enabled): while the
// engine runs, the window must live.
void CProgressDlg::OnOK() {
    if (IsWindowEnabled(m_btnOK.GetSafeHwnd())) CDialogBase::OnOK();
}

// Cancel, the close box and Escape only ask the engine to stop; the window
// stays open.
void CProgressDlg::OnCancel() { m_bAbort = 1; }

void CProgressDlg::AppendLog(std::wstring_view text) {
    m_pendingLog += text;
    const auto waited = std::chrono::steady_clock::now() - m_lastLogUpdate;
    if (waited >= kLogInterval) {
        FlushLog();
    } else if (!m_pendingLog.empty() && !m_flushTimer) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(kLogInterval - waited);
        m_flushTimer = SetTimer(m_hWnd, kFlushTimer, static_cast<UINT>(left.count()), nullptr) != 0;
    }
}

void CProgressDlg::OnTimer(UINT_PTR id) {
    if (id == kFlushTimer) FlushLog();
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
    if (m_flushTimer) KillTimer(m_hWnd, kFlushTimer);
    m_flushTimer = false;
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
    PlaceClearOf(dlg->GetSafeHwnd(), g_keyboardWindows);  // the windows still open
    AddKeyboardWindow(dlg->GetSafeHwnd());
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
        // The run is over: the main window, which the job disabled, takes
        // input again first, so that the system gives it the activation
        // when this window goes instead of passing it to another program.
        if (HWND owner = GetWindow(dlg->GetSafeHwnd(), GW_OWNER)) EnableWindow(owner, TRUE);
        dlg->DestroyWindow();
        g_pProgressDlg = nullptr;
    }
}
