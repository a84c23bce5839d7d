// The About box: the program icon, name and version, the authors, OK. It
// exchanges no data; OK, Enter, Escape and the close box all just end it.
#pragma once

#include "framework/dialog.h"
#include "resource.h"

class CAboutDlg : public CDialogBase {
public:
    CAboutDlg() : CDialogBase(IDD_ABOUTBOX) {}
};
