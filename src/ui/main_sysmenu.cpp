// The main window's system commands: its own About item, and the platform's
// commands (move, minimise, close and the like) unchanged.
#include "ui/about_dlg.h"
#include "ui/archiver_dlg.h"

void CArchiverDlg::OnSysCommand(UINT id, LPARAM) {
    // The platform uses the low four bits of a command id for itself.
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    Default();
}
