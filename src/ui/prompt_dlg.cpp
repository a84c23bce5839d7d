#include "ui/prompt_dlg.h"

#include <algorithm>

#include "base/codepage932.h"
#include "resource.h"

void CPromptDlg::DoDataExchange(CDataExchange& dx) {
    ExchangeControl(dx, IDOK, m_btnOK);
    ExchangeText(dx, IDC_PROMPT, m_strPrompt);
    ExchangeText(dx, m_entryId, Entry());
}

BOOL CPromptDlg::OnInitDialog() {
    // Every character takes at least one byte: the control's own limit
    // stops most input early, OnUpdateEntry the rest.
    SendDlgItemMessageW(m_hWnd, m_entryId, EM_SETLIMITTEXT, m_nMaxEntryBytes, 0);
    m_accepted = Entry();
    CDialogBase::OnInitDialog();
    return TRUE;
}

void CPromptDlg::OnUpdateEntry() {
    UpdateData(true);
    if (ToCodePage932Lossy(Entry()).size() > m_nMaxEntryBytes) {
        // Refuse the change whole; the caret goes back to where it began.
        HWND entry = GetDlgItem(m_entryId);
        DWORD caret = 0;
        SendMessageW(entry, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
        const size_t inserted = Entry().size() - std::min(Entry().size(), m_accepted.size());
        caret = static_cast<DWORD>(std::min<size_t>(caret - std::min<size_t>(caret, inserted),
                                                    m_accepted.size()));
        Entry() = m_accepted;
        SetWindowTextW(entry, m_accepted.c_str());
        SendMessageW(entry, EM_SETSEL, caret, caret);
        MessageBeep(MB_OK);
    }
    m_accepted = Entry();
    m_btnOK.Enable(!Entry().empty());
}
