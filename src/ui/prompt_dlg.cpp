#include "ui/prompt_dlg.h"

#include "job/codepage932.h"
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
        Entry() = m_accepted;
        HWND entry = GetDlgItem(m_entryId);
        SetWindowTextW(entry, m_accepted.c_str());
        SendMessageW(entry, EM_SETSEL, m_accepted.size(), m_accepted.size());
        MessageBeep(MB_OK);
    }
    m_accepted = Entry();
    m_btnOK.Enable(!Entry().empty());
}
