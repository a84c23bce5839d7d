// The options dialog opened from the real main window.
#include "gui_harness.h"

#include "base/local_date.h"
#include "resource.h"
#include "settings_fields.h"

namespace {

// Picks a day at an hour as the drop-down calendar does; false when the picker refuses it.
bool PickDate(HWND options, WORD year, WORD month, WORD day, WORD hour) {
    SYSTEMTIME picked{year, month, 0, day, hour, 0, 0, 0};
    return SendMessageW(GetDlgItem(options, IDC_DATE), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&picked));
}

// Moves the trackbar with a key and waits until it shows the level.
bool MoveLevel(HWND options, UINT key, int expected) {
    HWND trackbar = GetDlgItem(options, IDC_LEVEL);
    gui::PressKey(trackbar, key);
    return gui::WaitUntil([&] { return SendMessageW(trackbar, TBM_GETPOS, 0, 0) == expected; });
}

// Chooses the folder with "参照(&B)...", or cancels when it is empty; returns once the dialog's handler has finished.
void UseFolderChooser(HWND options, const std::wstring& folder) {
    gui::PostClick(options, IDC_BROWSE);
    HWND chooser = gui::WaitForWindow([&](HWND hwnd) { return GetWindow(hwnd, GW_OWNER) == options; });
    ASSERT_TRUE(chooser);
    EXPECT_TRUE(FindWindowExW(chooser, nullptr, nullptr, L"フォルダを選択してください"));
    if (folder.empty()) {
        gui::Click(chooser, IDCANCEL);
    } else {  // the chooser may still be filling its tree: until its current item is the folder
        ASSERT_TRUE(gui::WaitUntil([&] {
            SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            HWND tree = FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
            wchar_t text[MAX_PATH] = {};
            TVITEMW item{TVIF_TEXT, TreeView_GetSelection(tree), 0, 0, text, MAX_PATH, 0, 0, 0, 0};
            return item.hItem && SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) &&
                   text == folder.substr(folder.rfind(L'\\') + 1);
        }));
        gui::Click(chooser, IDOK);
        ASSERT_TRUE(gui::WaitUntil([&] { return gui::Text(GetDlgItem(options, IDC_TEMPDIR)) == folder; }));
    }
    ASSERT_TRUE(gui::WaitForWindowGone(chooser));
    SendMessageW(options, WM_NULL, 0, 0);  // answered once the handler has returned
}

// Everything changed and a folder chosen (which takes the controls into the dialog's copy), then cancelled each
// of the three ways: nothing reaches Settings. Then a stored level outside 0..9 shows as the nearer end, the date
// offers the years the store keeps up to the last hour, and OK takes what is on screen after a folder choice (the
// date keeping its time of day); a cancelled chooser changes nothing, not even text typed. Every caption fits.
TEST(OptionsDialog, CancelKeepsSettingsAndOkTakesWhatIsOnScreen) {
    gui::TempFolder folder(L"Tirvo作業_");  // a Japanese name in the chooser
    // In the order of Fields(): the eleven switches (ids IDC_TEMP to IDC_LATESTTIME) alternate off and on.
    const Settings before{*MakeLocalTime({2010, 5, 17, 13, 45, 10}), L"C:\\作業\\tmp", 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0,
                          42, 1, 0, 0, 0, 2, L"C:\\書庫\\a.zip", 0};
    Settings after = gui::RunMainWindowWith(before, [&](HWND main) {
        auto open = [&] {
            gui::PostClick(main, IDC_OPTIONS);
            return gui::WaitForWindow(L"オプション Tirvo");
        };
        for (int way = 0; way < 3; ++way) {
            HWND options = open();
            ASSERT_TRUE(options);
            for (int id = IDC_TEMP; id <= IDC_LATESTTIME; ++id) gui::Click(options, id);
            gui::TypeText(GetDlgItem(options, IDC_TEMPDIR), L"D:\\other");
            EXPECT_TRUE(PickDate(options, 2020, 2, 29, 0));
            EXPECT_TRUE(MoveLevel(options, VK_HOME, 0));
            UseFolderChooser(options, folder.path.wstring());
            way == 0 ? gui::Click(options, IDCANCEL) : way == 1 ? gui::PressKey(options, VK_ESCAPE)
                                                          : gui::PressCloseBox(options);
            EXPECT_TRUE(gui::WaitForWindowGone(options));
        }
        HWND options = open();
        ASSERT_TRUE(options);
        gui::ExpectCaptionsFit(options);
        EXPECT_EQ(SendMessageW(GetDlgItem(options, IDC_LEVEL), TBM_GETPOS, 0, 0), 9);
        SYSTEMTIME range[2] = {};
        EXPECT_EQ(SendMessageW(GetDlgItem(options, IDC_DATE), DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(range)),
                  GDTR_MIN | GDTR_MAX);
        EXPECT_EQ(std::tie(range[0].wYear, range[1].wYear), std::make_tuple(kFirstYear, kLastYear));
        for (int id = IDC_SYSTEM; id <= IDC_LATESTTIME; ++id) gui::Click(options, id);
        EXPECT_TRUE(PickDate(options, kLastYear, 12, 31, 23));
        EXPECT_TRUE(MoveLevel(options, VK_HOME, 0));
        EXPECT_TRUE(MoveLevel(options, VK_RIGHT, 1));
        gui::TypeText(GetDlgItem(options, IDC_TEMPDIR), L"E:\\typed");
        UseFolderChooser(options, L"");
        EXPECT_EQ(gui::Text(GetDlgItem(options, IDC_TEMPDIR)), L"E:\\typed");
        UseFolderChooser(options, folder.path.wstring());
        for (int i = 0; i < 11; ++i) EXPECT_EQ(gui::IsChecked(options, IDC_TEMP + i), (i % 2 == 1) != (i > 0)) << i;
        SYSTEMTIME shown{};
        SendMessageW(GetDlgItem(options, IDC_DATE), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown));
        EXPECT_EQ(std::tie(shown.wYear, shown.wMonth, shown.wDay), std::make_tuple(kLastYear, 12, 31));
        gui::PressKey(options, VK_RETURN);
        EXPECT_TRUE(gui::WaitForWindowGone(options));
    });
    // All switches but the first turned over, the level at 1, the date's time of day kept.
    const Settings expected{*MakeLocalTime({kLastYear, 12, 31, 13, 45, 10}), folder.path.wstring(), 0, 0, 1, 0, 1, 0,
                            1, 0, 1, 0, 1, 1, 1, 0, 0, 0, 2, L"C:\\書庫\\a.zip", 0};
    EXPECT_EQ(Fields(after), Fields(expected));
}

}  // namespace
