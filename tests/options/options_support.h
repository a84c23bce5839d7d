// Shared by the options-dialog and About-box tests: the main window run with
// given Settings (no registry involved), and the options dialog's controls.
#pragma once

#include "gui_harness.h"
#include "settings_fields.h"

#include "base/local_date.h"
#include "resource.h"
#include "ui/archiver_dlg.h"

#include <commctrl.h>

#include <array>

namespace options_test {

inline constexpr wchar_t kMainCaption[] = L"Tirvo";
inline constexpr wchar_t kOptionsCaption[] = L"オプション Tirvo";
inline constexpr wchar_t kAboutCaption[] = L"ﾊﾞｰｼﾞｮﾝ情報 Tirvo";

// The eleven check boxes, in the order of their Settings fields and of tabbing.
inline constexpr std::array<int, 11> kSwitchBoxes = {
    IDC_TEMP,        IDC_SYSTEM,  IDC_VOLUME,   IDC_EXTRA,   IDC_NODIRENTRIES, IDC_EXCLUDEDATE,
    IDC_INCLUDEDATE, IDC_QUIET,   IDC_CRLF_LF,  IDC_LF_CRLF, IDC_LATESTTIME};

inline std::int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return MakeLocalTime({year, month, day, hour, minute, second}).value_or(-1);
}

// Distinct values in every field, with a time of day in the date, the
// switches set to `switches` (alternating when -1), and the main window not
// on top (tests run side by side).
inline Settings SampleSettings(int switches = -1) {
    Settings s;
    s.tDate = LocalTime(2010, 5, 17, 13, 45, 10);
    s.stTempDir = L"C:\\作業\\tmp";
    int* fields[] = {&s.bTemp,        &s.bSystem, &s.bVolume,  &s.bExtra,   &s.bNoDirEntries, &s.bExcludeDate,
                     &s.bIncludeDate, &s.bQuiet,  &s.bCRLF_LF, &s.bLF_CRLF, &s.bLatestTime};
    for (std::size_t i = 0; i < 11; ++i) *fields[i] = switches >= 0 ? switches : i % 2 == 0;
    s.nLevel = 3;
    s.bEncrypt = 1;
    s.nMode = 2;
    s.stFileName = L"C:\\書庫\\a.zip";
    s.bTopMost = 0;
    return s;
}

// Runs the real main window with the given Settings on this thread and the
// user on a second one, who gets the main window; returns the Settings the
// window holds at its end. The user leaves the main window open: the
// harness closes it.
inline Settings RunMainWindowWith(Settings settings, const std::function<void(HWND)>& user) {
    gui::RunWithUser(
        [&] {
            INITCOMMONCONTROLSEX controls{sizeof(controls),
                                          ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
            InitCommonControlsEx(&controls);
            CArchiverApp app((gui::kTestAppPrefix + std::wstring(L"options")).c_str());
            CArchiverDlg main;
            main.m_settings = settings;
            app.m_pMainWnd = &main;
            main.DoModal();
            app.m_pMainWnd = nullptr;
            settings = main.m_settings;
        },
        [&] {
            HWND main = gui::WaitForWindow(kMainCaption);
            ASSERT_TRUE(main);
            user(main);
        });
    return settings;
}

// Clicks the advanced-settings button and waits for the options dialog.
inline HWND OpenOptions(HWND main) {
    gui::PostClick(main, IDC_OPTIONS);
    return gui::WaitForWindow(kOptionsCaption);
}

// Ends a dialog one way and waits until it has gone.
inline void EndDialog(HWND dialog, const std::function<void(HWND)>& way) {
    way(dialog);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog));
}

// Picks a day as the drop-down calendar does; false when the picker refuses it.
inline bool PickDate(HWND options, int year, int month, int day, int hour = 0) {
    SYSTEMTIME picked{};
    picked.wYear = static_cast<WORD>(year);
    picked.wMonth = static_cast<WORD>(month);
    picked.wDay = static_cast<WORD>(day);
    picked.wHour = static_cast<WORD>(hour);
    return SendMessageW(gui::Item(options, IDC_DATE), DTM_SETSYSTEMTIME, GDT_VALID,
                        reinterpret_cast<LPARAM>(&picked)) != 0;
}

inline int LevelShown(HWND options) {
    return static_cast<int>(SendMessageW(gui::Item(options, IDC_LEVEL), TBM_GETPOS, 0, 0));
}

// Moves the trackbar with the keyboard (Home, End, arrows) and waits for it.
inline bool MoveLevel(HWND options, UINT key, int expected) {
    HWND trackbar = gui::Item(options, IDC_LEVEL);
    PostMessageW(trackbar, WM_KEYDOWN, key, 1);
    PostMessageW(trackbar, WM_KEYUP, key, 0xC0000001);
    return gui::WaitUntil([&] { return LevelShown(options) == expected; });
}

}  // namespace options_test
