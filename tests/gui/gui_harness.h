// The real program's windows driven as a user would: the program runs on the test's thread, a second thread acts
// with real messages and finds windows by caption. Wait on conditions, never sleep; PostClick opens a modal window.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/archiver_app.h"
#include "ui/archiver_dlg.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace gui {

using namespace std::chrono_literals;

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; !condition(); std::this_thread::sleep_for(20ms))
        if (std::chrono::steady_clock::now() >= end) return false;
    return true;
}

inline std::wstring Text(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    return text.substr(0, static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
}

inline std::vector<HWND> OwnTopWindows() {  // the visible ones, topmost first
    std::vector<HWND> windows;
    for (HWND hwnd = nullptr; (hwnd = FindWindowExW(nullptr, hwnd, nullptr, nullptr));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd)) windows.push_back(hwnd);
    }
    return windows;
}

// The last of this process's visible top-level windows that `wanted` takes; a timeout of 0 looks once.
inline HWND WaitForWindow(const std::function<bool(HWND)>& wanted, std::chrono::milliseconds timeout = 20s) {
    HWND found = nullptr;
    auto look = [&] {
        for (HWND hwnd : OwnTopWindows()) found = wanted(hwnd) ? hwnd : found;
        return found != nullptr;
    };
    WaitUntil(look, timeout);
    return found;
}

inline HWND WaitForWindow(const std::wstring& caption, std::chrono::milliseconds timeout = 20s) {
    return WaitForWindow([&](HWND hwnd) { return Text(hwnd) == caption; }, timeout);
}

inline bool WaitForWindowGone(HWND w) { return WaitUntil([&] { return !IsWindow(w) || !IsWindowVisible(w); }); }

inline bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
inline bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
inline bool HasExStyle(HWND hwnd, LONG style) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & style) != 0; }

// Replaces the whole text key by key, so that the dialog hears of every character.
inline void TypeText(HWND edit, const std::wstring& text) {
    SendMessageW(edit, EM_SETSEL, 0, -1);
    if (text.empty()) SendMessageW(edit, WM_CLEAR, 0, 0);
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

inline void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
inline void PostClick(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// A key pressed at the window's focused control, so that the dialog's own keyboard handling applies.
inline void PressKey(HWND window, UINT key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == window || IsChild(window, info.hwndFocus)))
        target = info.hwndFocus;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

inline void PressCloseBox(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

// A drop as the shell makes it: DROPFILES with wide names in movable memory, released by the receiver.
inline bool PostDrop(HWND target, const std::vector<std::wstring>& paths) {
    std::wstring names;
    for (const std::wstring& path : paths) names += path + L'\0';
    names += L'\0';
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    *drop = DROPFILES{sizeof(DROPFILES), {20, 20}, FALSE, TRUE};
    std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0) != FALSE;
}

// Each caption that does not fit its control fails: buttons on one line, static texts word-wrapped in their room.
inline void ExpectCaptionsFit(HWND dialog) {
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        const std::wstring text = Text(control);
        wchar_t className[16] = {};
        GetClassNameW(control, className, 16);
        const bool isStatic = lstrcmpiW(className, L"Static") == 0;
        if (text.empty() || (!isStatic && lstrcmpiW(className, L"Button") != 0) || text.find(L'\xFFFF') != text.npos)
            continue;  // an icon's static holds its resource ordinal
        const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        RECT room{}, needed{};
        GetClientRect(control, &room);
        needed.right = room.right;
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        const UINT lines = isStatic ? DT_WORDBREAK | DT_EXPANDTABS : DT_SINGLELINE;
        DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | lines);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        if (!isStatic)
            room.right -= type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? 6 : type == BS_GROUPBOX ? 16
                                                                               : GetSystemMetrics(SM_CXMENUCHECK) + 4;
        EXPECT_TRUE(needed.right <= room.right && (!isStatic || needed.bottom <= room.bottom))
            << Text(dialog) << ": " << text;
    }
}

// A fresh folder under the temporary folder, removed with everything in it.
struct TempFolder {
    explicit TempFolder(const std::wstring& start = L"tirvo-test-") {
        static int serial = 0;
        path = std::filesystem::temp_directory_path() /
               (start + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::wstring operator/(const std::wstring& name) const { return (path / name).wstring(); }
    std::filesystem::path path;
};

// The key of "TirvoTest_<suite>_<test>" (TirvoTest32_ in the 32-bit build): empty at the start, removed at the end.
struct TestProfile {
    TestProfile() {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(test->test_suite_name()) + "_" + test->name();
        appName = (sizeof(void*) == 4 ? L"TirvoTest32_" : L"TirvoTest_") + std::wstring(name.begin(), name.end());
        path = L"Software\\Dremmil\\" + appName;
        RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    }
    ~TestProfile() { RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }

    bool WriteRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) const {
        return RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), type, data, size) == ERROR_SUCCESS;
    }
    void Write(const std::wstring& name, DWORD value) const { WriteRaw(name, REG_DWORD, &value, 4); }
    void Write(const std::wstring& name, const std::wstring& value) const {
        WriteRaw(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    std::optional<DWORD> ReadDword(const std::wstring& name) const {
        DWORD value = 0, size = sizeof(value);
        return RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size)
                   ? std::nullopt : std::optional<DWORD>(value);
    }
    std::optional<std::wstring> ReadString(const std::wstring& name) const {
        std::wstring value(70000, L'\0');
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        return RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, value.data(), &size)
                   ? std::nullopt : std::optional<std::wstring>(value.c_str());
    }

    std::wstring appName, path;
};

// Runs program() on this thread and user() on a second one, then closes the program's windows until it ends; a
// program still running a minute later stops the test program rather than hang it.
inline void RunWithUser(const std::function<void()>& program, const std::function<void()>& user) {
    std::atomic<bool> programEnded{false};
    std::thread userThread([&] {
        user();
        if (!WaitUntil(
                [&] {
                    for (HWND hwnd : OwnTopWindows())
                        if (!programEnded && IsWindowEnabled(hwnd)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
                    return programEnded.load();
                },
                60s)) {
            std::fprintf(stderr, "The program's windows did not close; stopping the test program.\n");
            std::_Exit(3);
        }
    });
    program();
    programEnded = true;
    userThread.join();
}

// The main window run with the given Settings, no registry involved; returns the Settings it holds at its end.
inline Settings RunMainWindowWith(Settings settings, const std::function<void(HWND)>& user) {
    RunWithUser(
        [&] {
            INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
            InitCommonControlsEx(&controls);
            CArchiverApp app(L"TirvoTest_unsaved");
            CArchiverDlg main;
            main.m_settings = settings;
            app.m_pMainWnd = &main;
            main.DoModal();
            app.m_pMainWnd = nullptr;
            settings = main.m_settings;
        },
        [&] {
            HWND main = WaitForWindow(L"Tirvo");
            ASSERT_TRUE(main);
            user(main);
        });
    return settings;
}

}  // namespace gui
