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

void Check(bool ok, const char* what) {
    if (!ok) std::printf("FAILED: %s\n", what), ++failures;
}

// The version block as a user's file properties show it: the fixed version
// and the Japanese string block.
void CheckVersionBlock(const std::wstring& exe) {
    std::vector<BYTE> block(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
    Check(!block.empty() && GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()),
          "Tirvo.exe has a readable version block");
    void* fixed = nullptr;
    void* version = nullptr;
    UINT length = 0;
    Check(!block.empty() && VerQueryValueW(block.data(), L"\\", &fixed, &length) &&
              static_cast<VS_FIXEDFILEINFO*>(fixed)->dwFileVersionMS == MAKELONG(2, 0) &&
              static_cast<VS_FIXEDFILEINFO*>(fixed)->dwFileVersionLS == MAKELONG(0, 4),
          "file version 0.2.4.0");
    Check(!block.empty() &&
              VerQueryValueW(block.data(), L"\\StringFileInfo\\041104b0\\ProductVersion", &version, &length) &&
              std::wstring(static_cast<const wchar_t*>(version)) == L"0, 2, 4, 0",
          "Japanese string block with the product version");
}

DWORD StoredInt(const wchar_t* name) {
    DWORD value = 0xFFFFFFFF, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Dremmil\\Tirvo", name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// Starts the program, waits up to 60 s for its main window (caption Tirvo,
// with the name field) and closes it; the first run saves the defaults.
void CheckStartAndClose(const std::wstring& exe) {
    Check(StoredInt(L"nLevel") == 0xFFFFFFFF, "the prefix is clean: no settings before the first run");
    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return Check(false, "Tirvo.exe starts");
    }
    HWND main = nullptr;
    for (int tick = 0; tick < 1200 && !main; ++tick) {
        for (HWND found = nullptr; !main && (found = FindWindowExW(nullptr, found, nullptr, L"Tirvo"));) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == process.dwProcessId && IsWindowVisible(found) && GetDlgItem(found, 1011)) main = found;
        }
        if (!main && WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
    }
    Check(main && IsWindowEnabled(main), "the main window appears, enabled");
    if (main) PostMessageW(main, WM_CLOSE, 0, 0);
    bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    Check(ended, "the program ends after its main window is closed");
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Check(StoredInt(L"nLevel") == 6 && StoredInt(L"bTopMost") == 1 && StoredInt(L"Year") == 2000,
          "first run saves the defaults");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: release_probe C:\\path\\to\\Tirvo.exe\n");
        return 2;
    }
    CheckVersionBlock(argv[1]);
    CheckStartAndClose(argv[1]);
    std::printf("%s\n", failures ? "release probe: FAILED" : "release probe: passed");
    return failures ? 1 : 0;
}
