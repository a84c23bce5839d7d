// Driving the real program's windows from a test, the way a user would: the
// program runs on the test's thread (RunMainWindow, or RunWithUser for any
// program code), and a second thread acts as the user with real messages
// (typing, clicks, keys, real HDROP drops), finds windows by caption among
// this process's visible top-level windows and reads controls and the
// registry. When the user function returns while the program still runs, the
// harness closes the program's windows, so that a test ends instead of hanging.
//
// Rules: wait on conditions (WaitUntil, WaitForWindow), never on fixed sleeps.
// Click buttons whose handler returns at once; PostClick those that open a
// modal window (Click would wait until that window closes).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/archiver_app.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace gui {

using namespace std::chrono_literals;
inline constexpr std::chrono::milliseconds kTimeout = 20s;

// Polls the condition every 20 ms until it holds or the timeout passes.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = kTimeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(20ms);
    }
}

// For test messages: gtest prints narrow strings.
inline std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                            out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

inline std::wstring Text(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(std::max(0, GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())))));
    return text;
}

// Adds hwnd to the vector at param when it is this process's and visible
// (a function of its own: the 32-bit build takes no lambda as a CALLBACK).
inline BOOL CALLBACK CollectOwnWindow(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

// This process's visible top-level windows.
inline std::vector<HWND> OwnTopWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

inline HWND FindWindowByCaption(const std::wstring& caption) {
    for (HWND hwnd : OwnTopWindows())
        if (Text(hwnd) == caption) return hwnd;
    return nullptr;
}

inline HWND WaitForWindow(const std::wstring& caption, std::chrono::milliseconds timeout = kTimeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowByCaption(caption)) != nullptr; }, timeout);
    return found;
}

inline bool WaitForWindowGone(HWND hwnd, std::chrono::milliseconds timeout = kTimeout) {
    return WaitUntil([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, timeout);
}

inline HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
inline bool IsChecked(HWND dialog, int id) {
    return SendMessageW(Item(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
inline bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(Item(dialog, id)) != FALSE; }
inline bool AcceptsDrops(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }
inline bool IsTopMost(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// Replaces the whole text as a paste would: WM_SETTEXT (EN_UPDATE follows).
inline void SetText(HWND edit, const std::wstring& text) {
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Selects everything and types the text key by key (WM_CHAR), so that the
// edit notifies its dialog after every character as on real typing.
inline void TypeText(HWND edit, const std::wstring& text) {
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

// Selects everything and deletes it.
inline void ClearText(HWND edit) {
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CLEAR, 0, 0);
}

// Clicks a button and returns after its handler has run.
inline void Click(HWND dialog, int id) { SendMessageW(Item(dialog, id), BM_CLICK, 0, 0); }

// Clicks a button without waiting, for handlers that open a modal window.
inline void PostClick(HWND dialog, int id) { PostMessageW(Item(dialog, id), BM_CLICK, 0, 0); }

// Presses and releases a key in the window's thread, at its focused control
// (or the window itself): the dialog's own keyboard handling applies, so
// VK_RETURN is the default button or OK and VK_ESCAPE is Cancel.
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

// The close box (or Alt+F4): the system command SC_CLOSE.
inline void PressCloseBox(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

// Drops files on a window as the shell does: a real HDROP (DROPFILES with
// wide names in movable global memory) posted as WM_DROPFILES. The receiver
// releases it with DragFinish.
inline bool PostDrop(HWND target, const std::vector<std::wstring>& paths, POINT at = {20, 20}) {
    std::wstring names;
    for (const std::wstring& path : paths) names += path + L'\0';
    names += L'\0';
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    if (!memory) return false;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    *drop = DROPFILES{sizeof(DROPFILES), at, FALSE, TRUE};
    std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    if (PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0)) return true;
    GlobalFree(memory);
    return false;
}

// Controls of a dialog whose caption does not fit, each as "id: caption":
// push buttons and the text beside check boxes and radio buttons on one
// line, group box titles within the frame, static texts within their
// rectangle when word-wrapped (a static clips what wraps beyond its height).
inline std::vector<std::wstring> CaptionsThatDoNotFit(HWND dialog) {
    std::vector<std::wstring> misfits;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        std::wstring text = Text(control);
        if (text.empty()) continue;
        wchar_t className[32] = {};
        GetClassNameW(control, className, 32);
        LONG style = GetWindowLongW(control, GWL_STYLE);
        RECT client{};
        GetClientRect(control, &client);
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        RECT needed{0, 0, client.right, 0};
        LONG room = client.right;
        bool fits = true;
        if (lstrcmpiW(className, L"Static") == 0) {
            UINT flags = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
            DrawTextW(dc, text.c_str(), -1, &needed, flags);
            fits = needed.bottom <= client.bottom && needed.right <= client.right;
        } else if (lstrcmpiW(className, L"Button") == 0) {
            DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
            LONG type = style & BS_TYPEMASK;
            if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE)
                room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;    // the box and the gap after it
            else
                room -= type == BS_GROUPBOX ? 2 * 8 : 2 * 3;     // the frame's corners, a push button's edges
            fits = needed.right <= room;
        }
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        if (!fits) misfits.push_back(std::to_wstring(GetDlgCtrlID(control)) + L": " + text);
    }
    return misfits;
}

// A fresh folder under the temporary folder, named with the given start,
// this process and a serial number, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& start = L"tirvo-test-") {
        static int serial = 0;
        m_path = std::filesystem::temp_directory_path() /
                 (start + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return (m_path / name).wstring(); }

private:
    std::filesystem::path m_path;
};

// Reads and writes values of one key below HKEY_CURRENT_USER, independently
// of the program's own registry code.
class RegistryKey {
public:
    explicit RegistryKey(std::wstring path) : m_path(std::move(path)) {}
    const std::wstring& Path() const { return m_path; }

    void Delete() const { RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str()); }
    bool Exists() const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    std::optional<DWORD> ReadDword(const std::wstring& name) const {
        DWORD value = 0, size = sizeof(value);
        if (RegGetValueW(HKEY_CURRENT_USER, m_path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size))
            return std::nullopt;
        return value;
    }
    std::optional<std::wstring> ReadString(const std::wstring& name) const {
        DWORD size = 0;
        auto read = [&](void* data) {
            return !RegGetValueW(HKEY_CURRENT_USER, m_path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &size);
        };
        std::wstring value;
        if (!read(nullptr) || (value.resize(size / sizeof(wchar_t)), !read(value.data()))) return std::nullopt;
        return value.c_str();
    }
    // Any type and any bytes, for values the program did not write itself.
    bool WriteRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) const {
        return RegSetKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), name.c_str(), type, data, size) == ERROR_SUCCESS;
    }
    bool WriteDword(const std::wstring& name, DWORD value) const {
        return WriteRaw(name, REG_DWORD, &value, sizeof(value));
    }
    bool WriteString(const std::wstring& name, const std::wstring& value) const {
        return WriteRaw(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

private:
    std::wstring m_path;
};

// The start of every test's application name: the 32-bit and the 64-bit
// tests run at the same time in one Wine prefix, whose HKCU they share.
constexpr const wchar_t* kTestAppPrefix = sizeof(void*) == 4 ? L"TirvoTest32_" : L"TirvoTest_";

// The profile of one test: the application name "TirvoTest_<suite>_<test>"
// keeps tests that run at the same time apart. The key is empty at start
// and removed at the end.
class TestProfile : public RegistryKey {
public:
    TestProfile() : RegistryKey(L"Software\\Dremmil\\" + MakeAppName()), m_appName(MakeAppName()) { Delete(); }
    ~TestProfile() { Delete(); }
    TestProfile(const TestProfile&) = delete;
    TestProfile& operator=(const TestProfile&) = delete;
    const std::wstring& AppName() const { return m_appName; }

private:
    static std::wstring MakeAppName() {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "_" + test->name();
        for (char& c : name)
            if (c == '/' || c == '\\') c = '_';
        return kTestAppPrefix + std::wstring(name.begin(), name.end());
    }
    std::wstring m_appName;
};

// Runs program() on this thread and user() on a second thread; returns when
// both have ended. If the program is still running once the user is done,
// its windows are closed until it ends; if it does not end within the
// timeout, the test program stops with a message rather than hang.
inline void RunWithUser(const std::function<void()>& program, const std::function<void()>& user,
                        std::chrono::milliseconds timeout = 60s) {
    std::atomic<bool> programEnded{false};
    std::thread userThread([&] {
        user();
        bool ended = WaitUntil(
            [&] {
                if (programEnded) return true;
                for (HWND hwnd : OwnTopWindows())
                    if (IsWindowEnabled(hwnd)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
                return false;
            },
            timeout);
        if (!ended) {
            std::fprintf(stderr, "The program's windows did not close; stopping the test program.\n");
            std::fflush(stderr);
            std::_Exit(3);
        }
    });
    program();
    programEnded = true;
    userThread.join();
}

// Start-up as the program does it (settings loaded from the profile's key,
// main window run modally, settings saved), with a user on a second thread.
inline void RunMainWindow(const TestProfile& profile, const std::function<void()>& user) {
    RunWithUser(
        [&] {
            CArchiverApp app(profile.AppName().c_str());
            app.InitInstance();
        },
        user);
}

}  // namespace gui
