// The main window's drop handler: archives the dropped files.
#include "ui/archiver_dlg.h"

#include <shellapi.h>

void CArchiverDlg::OnDropFiles(HDROP drop) { DragFinish(drop); }
