// The options dialog opened from the real main window: what reaches Settings
// after OK and after cancel, the folder chooser, the limits of the date.
#include "options_support.h"

#include <shlobj.h>

using namespace options_test;

namespace {

// The text of the current item of the chooser's folder tree.
std::wstring SelectedTreeItemText(HWND chooser) {
    HWND tree = FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
    std::wstring text(MAX_PATH, L'\0');
    TVITEMW info{};
    info.mask = TVIF_TEXT;
    info.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    info.pszText = text.data();
    info.cchTextMax = static_cast<int>(text.size());
    if (!info.hItem || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info))) return L"";
    return text.c_str();
}

// Opens the folder chooser with "参照(&B)..." and ends it: with the folder
// chosen, or cancelled when folder is empty. Returns once the dialog's
// handler has finished; false when the chooser did not come, or the folder
// not shown.
bool UseFolderChooser(HWND options, const std::wstring& folder) {
    gui::PostClick(options, IDC_BROWSE);
    HWND chooser = nullptr;
    gui::WaitUntil([&] {
        for (HWND hwnd : gui::OwnTopWindows()) {
            if (GetWindow(hwnd, GW_OWNER) == options) chooser = hwnd;
        }
        return chooser != nullptr;
    });
    EXPECT_TRUE(chooser) << "no folder chooser owned by the options dialog";
    if (!chooser) return false;
    EXPECT_TRUE(FindWindowExW(chooser, nullptr, nullptr, L"フォルダを選択してください")) << "instruction";
    if (folder.empty()) {
        gui::Click(chooser, IDCANCEL);
    } else {
        // The chooser may still be filling its tree: select until the
        // folder is the tree's current item.
        std::wstring leaf = folder.substr(folder.find_last_of(L'\\') + 1);
        EXPECT_TRUE(gui::WaitUntil([&] {
            SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            return SelectedTreeItemText(chooser) == leaf;
        })) << "the chooser did not select " << gui::Utf8(folder);
        gui::Click(chooser, IDOK);
    }
    if (!gui::WaitForWindowGone(chooser)) return false;
    // The handler goes on after the chooser has gone: a chosen folder shows
    // once it has written the controls, and a message sent to the dialog
    // is answered only after the handler has returned.
    if (!folder.empty() && !gui::WaitUntil([&] { return gui::Text(gui::Item(options, IDC_TEMPDIR)) == folder; }))
        return false;
    SendMessageW(options, WM_NULL, 0, 0);
    return true;
}

// Every kind of control changed and a folder chosen (which takes every
// control into the dialog's copy), then cancelled in each of the three ways:
// nothing reaches Settings. OK without a change then gives back what came
// in, with a stored level outside 0..9 as the nearer end.
TEST(OptionsDialog, CancelKeepsSettingsAndOkWithoutChangesClampsTheLevel) {
    gui::TempFolder folder(L"Tirvo作業_");  // a Japanese name in the chooser
    const std::function<void(HWND)> cancels[] = {[](HWND options) { gui::Click(options, IDCANCEL); },
                                                 [](HWND options) { gui::PressKey(options, VK_ESCAPE); },
                                                 [](HWND options) { gui::PressCloseBox(options); }};
    Settings before = SampleSettings();
    before.nLevel = 42;
    Settings after = RunMainWindowWith(before, [&](HWND main) {
        for (const auto& cancel : cancels) {
            HWND options = OpenOptions(main);
            ASSERT_TRUE(options);
            for (int id : kSwitchBoxes) gui::Click(options, id);
            gui::TypeText(gui::Item(options, IDC_TEMPDIR), L"D:\\other");
            EXPECT_TRUE(PickDate(options, 2020, 2, 29));
            EXPECT_TRUE(MoveLevel(options, VK_HOME, 0));
            EXPECT_TRUE(UseFolderChooser(options, folder.Path().wstring()));
            EndDialog(options, cancel);
        }
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        EXPECT_EQ(LevelShown(options), 9);
        EndDialog(options, [](HWND dialog) { gui::Click(dialog, IDOK); });
    });
    before.nLevel = 9;
    EXPECT_EQ(Fields(after), Fields(before));
}

// Ticks, the date and the level set before a folder choice stay on screen
// and reach Settings with OK; a cancelled chooser before changes nothing,
// not even text typed. The picker offers the years the settings store keeps,
// up to the last hour of the last day, and the date keeps its time of day.
// All switches but '-b' are ticked: both date filters and both line-end
// conversions at once.
TEST(OptionsDialog, ChangesSurviveAFolderChoiceAndReachSettingsWithOk) {
    gui::TempFolder folder(L"Tirvo作業_");
    Settings after = RunMainWindowWith(SampleSettings(0), [&](HWND main) {
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        for (std::size_t i = 1; i < kSwitchBoxes.size(); ++i) gui::Click(options, kSwitchBoxes[i]);
        SYSTEMTIME range[2] = {};
        EXPECT_EQ(SendMessageW(gui::Item(options, IDC_DATE), DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(range)),
                  GDTR_MIN | GDTR_MAX);
        EXPECT_EQ(std::tie(range[0].wYear, range[1].wYear), std::make_tuple(kFirstYear, kLastYear));
        EXPECT_TRUE(PickDate(options, kLastYear, 12, 31, 23));
        EXPECT_TRUE(MoveLevel(options, VK_HOME, 0));
        EXPECT_TRUE(MoveLevel(options, VK_RIGHT, 1));
        gui::TypeText(gui::Item(options, IDC_TEMPDIR), L"E:\\typed");
        ASSERT_TRUE(UseFolderChooser(options, L""));
        EXPECT_EQ(gui::Text(gui::Item(options, IDC_TEMPDIR)), L"E:\\typed");
        ASSERT_TRUE(UseFolderChooser(options, folder.Path().wstring()));
        for (int id : kSwitchBoxes) EXPECT_EQ(gui::IsChecked(options, id), id != IDC_TEMP) << id;
        SYSTEMTIME shown{};
        SendMessageW(gui::Item(options, IDC_DATE), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown));
        EXPECT_EQ(std::tie(shown.wYear, shown.wMonth, shown.wDay), std::make_tuple(kLastYear, 12, 31));
        EXPECT_EQ(LevelShown(options), 1);
        EndDialog(options, [](HWND dialog) { gui::PressKey(dialog, VK_RETURN); });
    });
    Settings expected = SampleSettings(1);
    expected.bTemp = 0;
    expected.tDate = LocalTime(kLastYear, 12, 31, 13, 45, 10);
    expected.stTempDir = folder.Path().wstring();
    expected.nLevel = 1;
    EXPECT_EQ(Fields(after), Fields(expected));
}

}  // namespace
