// The engine's question for the archive comment.
//
//   CCommentDlg dlg;
//   dlg.m_strPrompt = ...; dlg.m_strComment = current;
//   if (dlg.DoModal() == IDOK) use(dlg.m_strComment);
#pragma once

#include "ui/prompt_dlg.h"

class CCommentDlg : public CPromptDlg {
public:
    explicit CCommentDlg(HWND parent = nullptr);

    std::wstring m_strComment;

protected:
    std::wstring& Entry() override { return m_strComment; }
    BOOL OnInitDialog() override;
    std::span<const MessageEntry> MessageTable() const override;
};
