// The engine's question for a password; the entry is masked.
//
//   CPasswordDlg dlg;
//   dlg.m_strPrompt = ...;
//   if (dlg.DoModal() == IDOK) use(dlg.m_strPassword);
#pragma once

#include "ui/prompt_dlg.h"

class CPasswordDlg : public CPromptDlg {
public:
    explicit CPasswordDlg(HWND parent = nullptr);

    std::wstring m_strPassword;

protected:
    std::wstring& Entry() override { return m_strPassword; }
    BOOL OnInitDialog() override;
    std::span<const MessageEntry> MessageTable() const override;
};
