// The modeless progress window of one archive run: the engine's output in a
// log, Cancel to ask the engine to stop, and a box to close it when done.
//
// Each run that shows progress opens a new window (OpenProgress) and
// finishes it when the engine returns (FinishProgress). The window owns
// itself and is deleted when its window is destroyed.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "framework/dialog.h"

class CProgressDlg : public CDialogBase {
public:
    explicit CProgressDlg(HWND parent = nullptr);

    int m_bAbort = 0;         // 1 once the user asked to cancel the run
    CControl m_editLog;       // the engine's output
    CControl m_btnOK;         // disabled while the run is in progress
    int m_bAutoClose = 0;     // close when done

    // Adds the engine's text to the log. Text that comes quickly after the
    // last update waits (at most kLogInterval) and goes in with the next:
    // every update of a visible edit control costs milliseconds, which a run
    // of many small files would otherwise spend on the log alone. Waiting
    // text goes in when its time is up, at the next callback or through a
    // timer, whichever comes first, even if the engine prints nothing more.
    void AppendLog(std::wstring_view text);
    // Puts any waiting text into the log now.
    void FlushLog();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnDestroy() override;
    void PostNcDestroy() override;
    void OnOK() override;
    void OnCancel() override;
    std::span<const MessageEntry> MessageTable() const override;

private:
    void OnTimer(UINT_PTR id);

    static constexpr std::chrono::milliseconds kLogInterval{100};
    std::wstring m_pendingLog;
    std::chrono::steady_clock::time_point m_lastLogUpdate{};
    bool m_flushTimer = false;  // a timer will put the waiting text in
};

// The current run's window, for the engine callbacks. Read only during a run
// (between OpenProgress and FinishProgress), and only while g_bShowProgress
// is non-zero: then g_pProgressDlg names a live window. Outside a run both
// may be stale.
extern int g_bShowProgress;
extern CProgressDlg* g_pProgressDlg;

// Opens this run's window when show is non-zero. A window that cannot be
// made leaves g_bShowProgress at 0, so the run goes on as a quiet one.
void OpenProgress(int show);
// Ends the run in its window: the log and OK become usable, and the window
// closes if its close-when-done box is ticked now.
void FinishProgress();
