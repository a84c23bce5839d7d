#include "ui/archiver_dlg.h"

#include "resource.h"

#include <commdlg.h>
#include <shellapi.h>

#include <ctime>
#include <string>

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
