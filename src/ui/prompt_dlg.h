// The common design of the engine's two prompts: a question, one entry, OK
// enabled exactly while the entry is non-empty, and Cancel.
//
// The entry takes no more than m_nMaxEntryBytes bytes of code page 932 (the
// engine's buffer): input beyond that is refused with a beep, never cut
// later on the way to the engine.
#pragma once

#include <cstddef>
#include <string>

#include "framework/dialog.h"

class CPromptDlg : public CDialogBase {
public:
    CControl m_btnOK;
    std::wstring m_strPrompt;
    std::size_t m_nMaxEntryBytes;

protected:
    CPromptDlg(UINT templateId, int entryId, std::size_t maxEntryBytes, HWND parent)
        : CDialogBase(templateId, parent), m_nMaxEntryBytes(maxEntryBytes), m_entryId(entryId) {}
    virtual std::wstring& Entry() = 0;

    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnUpdateEntry();

private:
    int m_entryId;
    std::wstring m_accepted;  // the entry's last text within the limit
};
