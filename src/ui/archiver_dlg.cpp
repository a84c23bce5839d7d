#include "ui/archiver_dlg.h"

#include "framework/message_box.h"
#include "framework/unique_handle.h"
#include "job/archive_job.h"
#include "resource.h"
#include "ui/about_dlg.h"
#include "ui/option_dlg.h"

#include <commdlg.h>
#include <shellapi.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

using UniqueDrop = UniqueHandle<HDROP, &DragFinish>;

std::vector<std::wstring> DroppedPaths(HDROP drop) {
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
        paths.push_back(std::move(path));
    }
    return paths;
}

}  // namespace

CArchiverDlg::CArchiverDlg()
    : CDialogBase(IDD_MAIN),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {
    m_settings.tDate = static_cast<std::int64_t>(std::time(nullptr));
}

std::span<const MessageEntry> CArchiverDlg::MessageTable() const {
    static const MessageEntry table[] = {
        OnMessage<&CArchiverDlg::OnSysCommand>(WM_SYSCOMMAND),
        OnMessage<&CArchiverDlg::OnPaint>(WM_PAINT),
        OnMessage<&CArchiverDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
        OnCommand<&CArchiverDlg::OnTopMost>(BN_CLICKED, IDC_TOPMOST),
        OnCommand<&CArchiverDlg::OnBrowse>(BN_CLICKED, IDC_BROWSE),
        OnCommand<&CArchiverDlg::OnChangeFileName>(EN_UPDATE, IDC_FILENAME),
        OnCommand<&CArchiverDlg::OnOptions>(BN_CLICKED, IDC_OPTIONS),
        OnMessage<&CArchiverDlg::OnDropFiles>(WM_DROPFILES),
    };
    return table;
}

void CArchiverDlg::DoDataExchange(CDataExchange& dx) {
    ExchangeCheck(dx, IDC_ENCRYPT, m_settings.bEncrypt);
    ExchangeCheck(dx, IDC_JUNKDIR, m_settings.bJunkDir);
    ExchangeCheck(dx, IDC_FORCE, m_settings.bForce);
    ExchangeCheck(dx, IDC_COMMENT, m_settings.bComment);
    ExchangeRadio(dx, IDC_MODE_ADD, m_settings.nMode);
    ExchangeText(dx, IDC_FILENAME, m_settings.stFileName);
    ExchangeCheck(dx, IDC_TOPMOST, m_settings.bTopMost);
}

BOOL CArchiverDlg::OnInitDialog() {
    CDialogBase::OnInitDialog();
    AddAboutItem();
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    OnChangeFileName();
    if (m_settings.bTopMost) OnTopMost();
    return TRUE;
}

void CArchiverDlg::AddAboutItem() {
    HMENU menu = GetSystemMenu(m_hWnd, FALSE);
    if (!menu) return;
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return;
    std::wstring item(text, static_cast<std::size_t>(length));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, item.c_str());
}

void CArchiverDlg::OnSysCommand(UINT id, LPARAM) {
    // The platform uses the low four bits of a command id for itself.
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    Default();
}

void CArchiverDlg::AcceptDrops(bool accept) { DragAcceptFiles(m_hWnd, accept ? TRUE : FALSE); }

void CArchiverDlg::OnChangeFileName() {
    UpdateData(true);
    AcceptDrops(!m_settings.stFileName.empty());
}

void CArchiverDlg::OnTopMost() {
    bool topMost = (GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    SetWindowPos(m_hWnd, topMost ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CArchiverDlg::OnBrowse() {
    UpdateData(true);

    std::wstring filter = L"Zip 書庫ファイル (*.zip)|*.zip|すべてのファイル (*.*)|*.*||";
    for (wchar_t& c : filter) {
        if (c == L'|') c = L'\0';
    }
    std::wstring path(32768, L'\0');   // the longest path Windows knows
    // Opens in the named archive's folder, still with no file name in it.
    const std::wstring& name = m_settings.stFileName;
    const std::wstring folder = name.substr(0, name.find_last_of(L"\\/") + 1);
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = m_hWnd;
    chooser.lpstrFilter = filter.c_str();
    chooser.lpstrFile = path.data();
    chooser.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    chooser.nMaxFile = static_cast<DWORD>(path.size());
    chooser.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
    chooser.lpstrDefExt = L"zip";
    if (GetSaveFileNameW(&chooser)) {
        m_settings.stFileName = path.c_str();
        AcceptDrops(true);
    }

    UpdateData(false);
}

// The options dialog edits a copy of fourteen settings, which come back only
// when it ends with OK.
void CArchiverDlg::OnOptions() {
    COptionDlg dlg;
    dlg.tDate = m_settings.tDate;
    dlg.stTempDir = m_settings.stTempDir;
    dlg.bTemp = m_settings.bTemp;
    dlg.bSystem = m_settings.bSystem;
    dlg.bVolume = m_settings.bVolume;
    dlg.bExtra = m_settings.bExtra;
    dlg.bNoDirEntries = m_settings.bNoDirEntries;
    dlg.bExcludeDate = m_settings.bExcludeDate;
    dlg.bIncludeDate = m_settings.bIncludeDate;
    dlg.bQuiet = m_settings.bQuiet;
    dlg.bCRLF_LF = m_settings.bCRLF_LF;
    dlg.bLF_CRLF = m_settings.bLF_CRLF;
    dlg.bLatestTime = m_settings.bLatestTime;
    dlg.nLevel = m_settings.nLevel;

    if (dlg.DoModal() != IDOK) return;

    m_settings.tDate = dlg.tDate;
    m_settings.stTempDir = dlg.stTempDir;
    m_settings.bTemp = dlg.bTemp;
    m_settings.bSystem = dlg.bSystem;
    m_settings.bVolume = dlg.bVolume;
    m_settings.bExtra = dlg.bExtra;
    m_settings.bNoDirEntries = dlg.bNoDirEntries;
    m_settings.bExcludeDate = dlg.bExcludeDate;
    m_settings.bIncludeDate = dlg.bIncludeDate;
    m_settings.bQuiet = dlg.bQuiet;
    m_settings.bCRLF_LF = dlg.bCRLF_LF;
    m_settings.bLF_CRLF = dlg.bLF_CRLF;
    m_settings.bLatestTime = dlg.bLatestTime;
    m_settings.nLevel = dlg.nLevel;
}

// Takes the controls into the settings, releases the drop before the engine
// runs, and archives what it held. Returns the message about the job, if any.
std::wstring CArchiverDlg::ArchiveDroppedFiles(HDROP drop) {
    UniqueDrop ownedDrop(drop);
    UpdateData(true);
    const std::vector<std::wstring> paths = DroppedPaths(drop);
    ownedDrop.Reset();
    return ArchivePaths(m_settings, paths);
}

// The window takes no input for the whole job, so no second drop can start
// a run inside this one. It takes input again before the message about the
// job, which it owns: a disabled owner would leave the activation to
// another program when the message goes.
void CArchiverDlg::OnDropFiles(HDROP drop) {
    EnableWindow(m_hWnd, FALSE);
    const std::wstring message = ArchiveDroppedFiles(drop);
    EnableWindow(m_hWnd, TRUE);
    if (!message.empty()) ShowMessage(message, m_hWnd);
    Default();
}

void CArchiverDlg::OnPaint() {
    if (!IsIconic(m_hWnd)) {
        Default();
        return;
    }
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

HCURSOR CArchiverDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CArchiverDlg::OnDestroy() {
    // Enter, Escape and the close box all end here: what is on screen is
    // what gets saved.
    UpdateData(true);
    CDialogBase::OnDestroy();
}
