#include "ui/comment_dlg.h"

#include "resource.h"
#include "zip32.h"

CCommentDlg::CCommentDlg(HWND parent) : CPromptDlg(IDD_COMMENT, IDC_COMMENT_TEXT, kZipCommentCapacity - 1, parent) {}

std::span<const MessageEntry> CCommentDlg::MessageTable() const {
    static const MessageEntry table[] = {
        OnCommand<&CCommentDlg::OnUpdateEntry>(EN_UPDATE, IDC_COMMENT_TEXT),
    };
    return table;
}

BOOL CCommentDlg::OnInitDialog() {
    CPromptDlg::OnInitDialog();
    if (m_strComment.empty()) m_btnOK.Enable(false);
    return TRUE;
}
