// The main window's advanced-settings button: opens the options dialog.
#include "ui/archiver_dlg.h"

void CArchiverDlg::OnOptions() {}
