#include "ui/password_dlg.h"

#include "resource.h"
#include "zip32.h"

CPasswordDlg::CPasswordDlg(HWND parent) : CPromptDlg(IDD_PASSWORD, IDC_PASSWORD, kZipPasswordCapacity - 1, parent) {}

std::span<const MessageEntry> CPasswordDlg::MessageTable() const {
    static const MessageEntry table[] = {
        OnCommand<&CPasswordDlg::OnUpdateEntry>(EN_UPDATE, IDC_PASSWORD),
    };
    return table;
}

BOOL CPasswordDlg::OnInitDialog() {
    CPromptDlg::OnInitDialog();
    m_btnOK.Enable(false);  // whatever the entry holds
    return TRUE;
}
