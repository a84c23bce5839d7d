// The main window's system commands, among them the About item.
#include "ui/archiver_dlg.h"

void CArchiverDlg::OnSysCommand(UINT, LPARAM) { Default(); }
