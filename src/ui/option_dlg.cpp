#include "ui/option_dlg.h"

#include "base/local_date.h"
#include "resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

namespace {

// COM for the folder chooser, balanced on every exit. A thread that already
// runs COM in another mode keeps it; the chooser works there as well.
class ComApartment {
public:
    ComApartment() : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (m_initialised) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool m_initialised;
};

// An item id list from the shell, freed with the task allocator.
class ShellItemIds {
public:
    explicit ShellItemIds(PIDLIST_ABSOLUTE ids) : m_ids(ids) {}
    ~ShellItemIds() { CoTaskMemFree(m_ids); }
    ShellItemIds(const ShellItemIds&) = delete;
    ShellItemIds& operator=(const ShellItemIds&) = delete;
    PIDLIST_ABSOLUTE Get() const { return m_ids; }

private:
    PIDLIST_ABSOLUTE m_ids;
};

SYSTEMTIME Moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    return time;
}

}  // namespace

COptionDlg::COptionDlg(HWND parent) : CDialogBase(IDD_OPTION, parent) {}

std::span<const MessageEntry> COptionDlg::MessageTable() const {
    static const MessageEntry table[] = {
        OnCommand<&COptionDlg::OnBrowseFolder>(BN_CLICKED, IDC_BROWSE),
    };
    return table;
}

void COptionDlg::DoDataExchange(CDataExchange& dx) {
    ExchangeDate(dx, IDC_DATE, tDate);
    ExchangeText(dx, IDC_TEMPDIR, stTempDir);
    ExchangeCheck(dx, IDC_TEMP, bTemp);
    ExchangeCheck(dx, IDC_SYSTEM, bSystem);
    ExchangeCheck(dx, IDC_VOLUME, bVolume);
    ExchangeCheck(dx, IDC_EXTRA, bExtra);
    ExchangeCheck(dx, IDC_NODIRENTRIES, bNoDirEntries);
    ExchangeCheck(dx, IDC_EXCLUDEDATE, bExcludeDate);
    ExchangeCheck(dx, IDC_INCLUDEDATE, bIncludeDate);
    ExchangeCheck(dx, IDC_QUIET, bQuiet);
    ExchangeCheck(dx, IDC_CRLF_LF, bCRLF_LF);
    ExchangeCheck(dx, IDC_LF_CRLF, bLF_CRLF);
    ExchangeCheck(dx, IDC_LATESTTIME, bLatestTime);
    ExchangeControl(dx, IDC_LEVEL, m_sliderLevel);
}

BOOL COptionDlg::OnInitDialog() {
    CDialogBase::OnInitDialog();
    LimitDateToSupportedYears();
    m_sliderLevel.Send(TBM_SETRANGE, FALSE, MAKELPARAM(0, 9));
    m_sliderLevel.Send(TBM_SETPOS, TRUE, nLevel);   // out of range: the nearer end
    return TRUE;
}

// Only days that the settings store can keep as Year, Month and Day, and
// turn back into a date at start-up, can be picked.
void COptionDlg::LimitDateToSupportedYears() {
    // The picker holds a time of day too: the last day ends at its last second.
    SYSTEMTIME range[2] = {Moment(kFirstYear, 1, 1), Moment(kLastYear, 12, 31, 23, 59, 59)};
    SendMessageW(GetDlgItem(IDC_DATE), DTM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
}

void COptionDlg::OnOK() {
    nLevel = static_cast<int>(m_sliderLevel.Send(TBM_GETPOS));
    CDialogBase::OnOK();
}

void COptionDlg::OnBrowseFolder() {
    UpdateData(true);

    ComApartment com;
    std::wstring displayName(MAX_PATH, L'\0');
    BROWSEINFOW chooser{};
    chooser.hwndOwner = m_hWnd;
    chooser.pszDisplayName = displayName.data();
    chooser.lpszTitle = L"フォルダを選択してください";
    chooser.ulFlags = BIF_RETURNONLYFSDIRS;
    ShellItemIds chosen(SHBrowseForFolderW(&chooser));
    if (!chosen.Get()) return;

    // The path is at most MAX_PATH characters; a folder whose path does not
    // fit (or has none) leaves the work directory as it was.
    std::wstring path(MAX_PATH, L'\0');
    if (SHGetPathFromIDListW(chosen.Get(), path.data())) stTempDir = path.c_str();

    UpdateData(false);
}
