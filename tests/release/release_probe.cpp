// Started inside a fresh Wine prefix with the path of the unpacked Tirvo.exe:
// checks the file's version block, starts the program from its own folder,
// waits for its main window, closes it, and checks that the settings were
// saved on the way out. Exit code 0 when all holds; each failure is printed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name)
{
    std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
        return L"<missing>";
    return text;
}

void CheckVersionBlock(const std::wstring& exe)
{
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
    Check(size != 0, "Tirvo.exe has a version block");
    if (size == 0)
        return;
    std::vector<BYTE> block(size);
    Check(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()), "version block readable");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    Check(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed,
          "fixed version info present");
    if (fixed) {
        Check(fixed->dwFileVersionMS == MAKELONG(2, 0) && fixed->dwFileVersionLS == MAKELONG(0, 4),
              "file version 0.2.4.0");
        Check(fixed->dwProductVersionMS == MAKELONG(2, 0) && fixed->dwProductVersionLS == MAKELONG(0, 4),
              "product version 0.2.4.0");
        Check(fixed->dwFileType == VFT_APP, "file type is an application");
    }

    WORD* translation = nullptr;
    Check(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                         reinterpret_cast<void**>(&translation), &length)
              && length >= 4 && translation[0] == 0x0411 && translation[1] == 1200,
          "translation Japanese, code page 1200");

    Check(VersionString(block, L"ProductName") == L"Tirvo", "ProductName");
    Check(VersionString(block, L"OriginalFilename") == L"Tirvo.exe", "OriginalFilename");
    Check(VersionString(block, L"FileDescription") == L"Tirvo MFC ｱﾌﾟﾘｹｰｼｮﾝ", "FileDescription");
    Check(VersionString(block, L"FileVersion") == L"0, 2, 4, 0", "FileVersion text");
    Check(VersionString(block, L"ProductVersion") == L"0, 2, 4, 0", "ProductVersion text");
    for (const wchar_t* name : {L"InternalName", L"CompanyName", L"Comments", L"LegalCopyright"}) {
        std::wstring value = VersionString(block, name);
        Check(!value.empty() && value != L"<missing>", "author entries filled in");
    }
}

struct MainWindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<MainWindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (owner == search->processId && IsWindowVisible(window) && std::wstring(caption) == L"Tirvo"
        && GetDlgItem(window, 1011)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForMainWindow(DWORD processId, HANDLE process)
{
    for (int tick = 0; tick < 1200; ++tick) {  // up to 60 s
        MainWindowSearch search{processId, nullptr};
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

bool SettingsKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Dremmil\\Tirvo", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

DWORD StoredInt(const wchar_t* name)
{
    DWORD value = 0xFFFFFFFF, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Dremmil\\Tirvo", name, RRF_RT_REG_DWORD, nullptr,
                 &value, &size);
    return value;
}

void CheckStartAndClose(const std::wstring& exe)
{
    Check(!SettingsKeyExists(), "the prefix is clean: no settings before the first run");

    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
        Check(false, "Tirvo.exe starts");
        return;
    }
    HWND main = WaitForMainWindow(process.dwProcessId, process.hProcess);
    Check(main != nullptr, "the main window appears");
    if (main) {
        Check(IsWindowEnabled(main), "the main window is enabled");
        PostMessageW(main, WM_CLOSE, 0, 0);
    }
    bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    Check(ended, "the program ends after its main window is closed");
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    Check(SettingsKeyExists(), "settings saved at the end of the run");
    Check(StoredInt(L"nLevel") == 6 && StoredInt(L"bTopMost") == 1 && StoredInt(L"Year") == 2000,
          "first run saves the defaults");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::printf("usage: release_probe C:\\path\\to\\Tirvo.exe\n");
        return 2;
    }
    CheckVersionBlock(argv[1]);
    CheckStartAndClose(argv[1]);
    std::printf("%s\n", failures ? "release probe: FAILED" : "release probe: passed");
    return failures ? 1 : 0;
}
