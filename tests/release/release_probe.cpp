// Given the unpacked Tirvo.exe in a fresh Wine prefix: checks its version block, starts it from its own folder,
// closes its main window and checks that the first run saved the defaults. Each failure is printed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) std::printf("FAILED: %s\n", what), ++failures;
}

DWORD StoredInt(const wchar_t* name) {
    DWORD value = 0xFFFFFFFF, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Dremmil\\Tirvo", name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return std::printf("usage: release_probe C:\\path\\to\\Tirvo.exe\n"), 2;
    const std::wstring exe = argv[1];
    std::vector<BYTE> block(GetFileVersionInfoSizeW(exe.c_str(), nullptr) + 1);
    void* version = nullptr;
    UINT length = 0;
    Check(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) &&
              VerQueryValueW(block.data(), L"\\StringFileInfo\\041104b0\\ProductVersion", &version, &length) &&
              length > 1,
          "a version block with the product version in Japanese");
    Check(StoredInt(L"nLevel") == 0xFFFFFFFF, "the prefix is clean: no settings before the first run");
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        exe.substr(0, exe.find_last_of(L'\\')).c_str(), &startup, &process))
        return std::printf("FAILED: Tirvo.exe starts\n"), 1;
    // Up to 60 s for the main window: caption Tirvo, with the name field.
    HWND main = nullptr;
    for (int tick = 0; tick < 1200 && !main && WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT; ++tick) {
        for (HWND found = nullptr; !main && (found = FindWindowExW(nullptr, found, nullptr, L"Tirvo"));) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == process.dwProcessId && IsWindowVisible(found) && GetDlgItem(found, 1011)) main = found;
        }
    }
    Check(main && IsWindowEnabled(main), "the main window appears, enabled");
    if (main) PostMessageW(main, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    Check(ended, "the program ends after its main window is closed");
    if (!ended) TerminateProcess(process.hProcess, 1);
    Check(StoredInt(L"nLevel") == 6 && StoredInt(L"bTopMost") == 1 && StoredInt(L"Year") == 2000,
          "first run saves the defaults");
    std::printf("%s\n", failures ? "release probe: FAILED" : "release probe: passed");
    return failures ? 1 : 0;
}
