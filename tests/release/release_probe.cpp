// Given the unpacked Tirvo.exe in a fresh Wine prefix: starts it from its own folder, waits for its main window (a
// dialog with the name field), closes it and checks that the program ends and that its first run saved the defaults.
#include <windows.h>

#include <cstdio>
#include <string>

static DWORD StoredInt(const wchar_t* name) {
    DWORD value = 0xFFFFFFFF, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Dremmil\\Tirvo", name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return std::printf("usage: release_probe C:\\path\\to\\Tirvo.exe\n"), 2;
    const std::wstring exe = argv[1];
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (StoredInt(L"nLevel") != 0xFFFFFFFF || !CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                                               0, nullptr, exe.substr(0, exe.rfind(L'\\')).c_str(),
                                                               &startup, &process))
        return std::printf("release probe: FAILED: Tirvo.exe starts, with no settings before\n"), 1;
    HWND main = nullptr;  // given 60 s
    for (int tick = 0; tick < 1200 && !main && WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT; ++tick)
        if ((main = FindWindowW(L"#32770", L"Tirvo")) && !(IsWindowVisible(main) && GetDlgItem(main, 1011)))
            main = nullptr;
    const char* failure = nullptr;
    if (!main || !IsWindowEnabled(main))
        failure = "the main window appears, enabled";
    else if (PostMessageW(main, WM_CLOSE, 0, 0); WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
        failure = "the program ends after its main window is closed";
    else if (StoredInt(L"nLevel") != 6 || StoredInt(L"bTopMost") != 1 || StoredInt(L"Year") != 2000)
        failure = "its first run saves the defaults";
    TerminateProcess(process.hProcess, 1);  // when it did not end
    std::printf("release probe: %s%s\n", failure ? "FAILED: " : "passed", failure ? failure : "");
    return failure ? 1 : 0;
}
