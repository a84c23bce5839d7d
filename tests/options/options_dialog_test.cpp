// The options dialog opened from the real main window: what reaches Settings
// after OK and after cancel, the folder chooser, the limits of the date.
#include "options_support.h"

#include "app/settings_store.h"

#include <shlobj.h>

#include <map>

using namespace options_test;

namespace {

// The folder chooser that the options dialog owns, once it is open.
HWND WaitForFolderChooser(HWND options) {
    HWND chooser = nullptr;
    gui::WaitUntil([&] {
        for (HWND hwnd : gui::OwnTopWindows()) {
            if (GetWindow(hwnd, GW_OWNER) == options) chooser = hwnd;
        }
        return chooser != nullptr;
    });
    return chooser;
}

bool HasChildWithText(HWND window, const std::wstring& text) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (gui::Text(child) == text) return true;
    }
    return false;
}

// The text of the current item of the chooser's folder tree.
std::wstring SelectedTreeItemText(HWND chooser) {
    HWND tree = FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return L"";
    std::wstring text(MAX_PATH, L'\0');
    TVITEMW info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text.data();
    info.cchTextMax = static_cast<int>(text.size());
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info))) return L"";
    return text.c_str();
}

// Settings saved and loaded in memory, as the registry would keep them.
class MemoryProfile : public SettingsProfile {
public:
    int ReadInt(const std::wstring& name, int defaultValue) override {
        auto found = m_ints.find(name);
        return found == m_ints.end() ? defaultValue : found->second;
    }
    std::wstring ReadString(const std::wstring& name, const std::wstring& defaultValue) override {
        auto found = m_strings.find(name);
        return found == m_strings.end() ? defaultValue : found->second;
    }
    void WriteInt(const std::wstring& name, int value) override { m_ints[name] = value; }
    void WriteString(const std::wstring& name, const std::wstring& value) override { m_strings[name] = value; }

private:
    std::map<std::wstring, int> m_ints;
    std::map<std::wstring, std::wstring> m_strings;
};

// A real folder with a Japanese name, removed at the end of the test.
class TempFolder {
public:
    TempFolder() {
        std::wstring base(MAX_PATH, L'\0');
        base.resize(GetTempPathW(MAX_PATH, base.data()));
        m_path = base + L"Tirvo作業_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempFolder() { RemoveDirectoryW(m_path.c_str()); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

// Opens the chooser with "参照(&B)..." and ends it: with a folder chosen, or
// cancelled when folder is empty. Returns once the dialog's handler has
// finished; false when the chooser did not come, or the folder not shown.
bool UseFolderChooser(HWND options, const std::wstring& folder) {
    gui::PostClick(options, IDC_BROWSE);
    HWND chooser = WaitForFolderChooser(options);
    EXPECT_TRUE(chooser) << "no folder chooser owned by the options dialog";
    if (!chooser) return false;
    EXPECT_TRUE(HasChildWithText(chooser, L"フォルダを選択してください"));
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

enum class CancelWay { Button, Escape, CloseBox };

void EndWithCancel(HWND options, CancelWay way) {
    switch (way) {
    case CancelWay::Button: gui::Click(options, IDCANCEL); break;
    case CancelWay::Escape: gui::PressKey(options, VK_ESCAPE); break;
    case CancelWay::CloseBox: gui::PressCloseBox(options); break;
    }
}

class CancelOptions : public testing::TestWithParam<CancelWay> {};

// A stored level outside 0..9 stays as stored, too.
TEST_P(CancelOptions, AfterChangingEveryKindOfControlLeavesSettingsAsTheyWere) {
    TempFolder folder;
    Settings before = SampleSettings();
    before.nLevel = 42;
    Settings after = RunMainWindowWith(before, [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        for (int id : kSwitchBoxes) gui::Click(options, id);
        gui::TypeText(gui::Item(options, IDC_TEMPDIR), L"D:\\other");
        EXPECT_TRUE(PickDate(options, 2020, 2, 29));
        EXPECT_TRUE(MoveLevel(options, VK_END, 9));
        EXPECT_TRUE(UseFolderChooser(options, folder.Path()));
        EXPECT_EQ(gui::Text(gui::Item(options, IDC_TEMPDIR)), folder.Path());
        EndWithCancel(options, GetParam());
        EXPECT_TRUE(gui::WaitForWindowGone(options));
        gui::PressKey(main, VK_ESCAPE);
    });
    ExpectSameSettings(after, before);
}

INSTANTIATE_TEST_SUITE_P(Ways, CancelOptions,
                         testing::Values(CancelWay::Button, CancelWay::Escape, CancelWay::CloseBox));

// OK without a change gives back what came in, except a level outside 0..9,
// which the trackbar shows, and OK returns, as the nearer end.
TEST(OptionsOk, WithoutChangesReturnsTheSameValuesWithTheLevelClamped) {
    struct Case {
        int stored;
        int returned;
    };
    const Case cases[] = {{-7, 0}, {0, 0}, {6, 6}, {9, 9}, {10, 9}, {12345, 9}};
    int allSwitches = 0;
    for (const Case& c : cases) {
        allSwitches = 1 - allSwitches;
        {
            Settings before = SampleSettings();
            before.nLevel = c.stored;
            for (int* value : Switches(before)) *value = allSwitches;
            Settings after = RunMainWindowWith(before, [&] {
                HWND main = gui::WaitForWindow(kMainCaption);
                ASSERT_TRUE(main);
                HWND options = OpenOptions(main);
                ASSERT_TRUE(options);
                EXPECT_EQ(LevelShown(options), c.returned);
                gui::Click(options, IDOK);
                EXPECT_TRUE(gui::WaitForWindowGone(options));
                gui::PressKey(main, VK_ESCAPE);
            });
            Settings expected = before;
            expected.nLevel = c.returned;
            SCOPED_TRACE(testing::Message() << "stored level " << c.stored << ", switches " << allSwitches);
            ExpectSameSettings(after, expected);
        }
    }
}

// Ticks, the date and the level set before a folder choice stay on screen and
// reach Settings with OK; choosing a folder does not tick '-b'.
TEST(OptionsFolder, TicksDateAndLevelSurviveAFolderChoice) {
    TempFolder folder;
    Settings before = SampleSettings();
    for (int* value : Switches(before)) *value = 0;
    Settings after = RunMainWindowWith(before, [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        for (int id : kSwitchBoxes) {
            if (id != IDC_TEMP) gui::Click(options, id);
        }
        EXPECT_TRUE(PickDate(options, 2024, 2, 29));
        EXPECT_TRUE(MoveLevel(options, VK_HOME, 0));
        EXPECT_TRUE(MoveLevel(options, VK_RIGHT, 1));

        ASSERT_TRUE(UseFolderChooser(options, folder.Path()));
        EXPECT_EQ(gui::Text(gui::Item(options, IDC_TEMPDIR)), folder.Path());
        EXPECT_FALSE(gui::IsChecked(options, IDC_TEMP));
        for (int id : kSwitchBoxes) {
            if (id != IDC_TEMP) {
                EXPECT_TRUE(gui::IsChecked(options, id)) << id;
            }
        }
        SYSTEMTIME shown = PickerDate(options);
        EXPECT_EQ(shown.wYear, 2024);
        EXPECT_EQ(shown.wMonth, 2);
        EXPECT_EQ(shown.wDay, 29);
        EXPECT_EQ(LevelShown(options), 1);

        gui::PressKey(options, VK_RETURN);
        EXPECT_TRUE(gui::WaitForWindowGone(options));
        gui::PressKey(main, VK_ESCAPE);
    });
    Settings expected = before;
    for (int* value : Switches(expected)) *value = 1;
    expected.bTemp = 0;
    expected.tDate = LocalTime(2024, 2, 29, 13, 45, 10);   // the time of day stays
    expected.stTempDir = folder.Path();
    expected.nLevel = 1;
    ExpectSameSettings(after, expected);
}

// A cancelled chooser changes nothing on screen, not even text typed before.
TEST(OptionsFolder, CancelledChooserKeepsWhatIsOnScreen) {
    Settings before = SampleSettings();
    Settings after = RunMainWindowWith(before, [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        gui::TypeText(gui::Item(options, IDC_TEMPDIR), L"E:\\typed");
        gui::Click(options, IDC_QUIET);
        ASSERT_TRUE(UseFolderChooser(options, L""));
        EXPECT_EQ(gui::Text(gui::Item(options, IDC_TEMPDIR)), L"E:\\typed");
        EXPECT_EQ(gui::IsChecked(options, IDC_QUIET), before.bQuiet == 0);
        gui::Click(options, IDOK);
        EXPECT_TRUE(gui::WaitForWindowGone(options));
        gui::PressKey(main, VK_ESCAPE);
    });
    Settings expected = before;
    expected.stTempDir = L"E:\\typed";
    expected.bQuiet = before.bQuiet == 0;
    ExpectSameSettings(after, expected);
}

// No exclusion between the switches: both date filters and both line-end
// conversions at once, with the work directory and the date still usable.
TEST(OptionsOk, BothDateFiltersAndBothLineEndConversionsTogether) {
    Settings before = SampleSettings();
    for (int* value : Switches(before)) *value = 0;
    Settings after = RunMainWindowWith(before, [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        for (int id : {IDC_EXCLUDEDATE, IDC_INCLUDEDATE, IDC_CRLF_LF, IDC_LF_CRLF}) gui::Click(options, id);
        for (int id : {IDC_EXCLUDEDATE, IDC_INCLUDEDATE, IDC_CRLF_LF, IDC_LF_CRLF}) {
            EXPECT_TRUE(gui::IsChecked(options, id)) << id;
        }
        for (int id : {IDC_TEMPDIR, IDC_DATE, IDC_BROWSE, IDC_LEVEL}) EXPECT_TRUE(gui::IsEnabled(options, id)) << id;
        gui::Click(options, IDOK);
        EXPECT_TRUE(gui::WaitForWindowGone(options));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(after.bExcludeDate, 1);
    EXPECT_EQ(after.bIncludeDate, 1);
    EXPECT_EQ(after.bCRLF_LF, 1);
    EXPECT_EQ(after.bLF_CRLF, 1);
    EXPECT_EQ(after.bTemp, 0);
}

// The picker offers only days that the settings store keeps as Year, Month
// and Day: the first and last supported day come back whole, with the time
// of day, and survive saving and loading; a day beyond them never reaches
// Settings, whether the picker refuses it or not.
TEST(OptionsDate, OnlyDaysTheSettingsStoreKeepsReachSettings) {
    struct Case {
        int year, month, day;
        bool supported;
    };
    const Case cases[] = {{kFirstYear, 1, 1, true},      {kLastYear, 12, 31, true},
                          {kFirstYear - 1, 12, 31, false}, {kLastYear + 1, 1, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        Settings before = SampleSettings();
        Settings after = RunMainWindowWith(before, [&] {
            HWND main = gui::WaitForWindow(kMainCaption);
            ASSERT_TRUE(main);
            HWND options = OpenOptions(main);
            ASSERT_TRUE(options);
            SYSTEMTIME range[2] = {};
            EXPECT_EQ(SendMessageW(gui::Item(options, IDC_DATE), DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(range)),
                      GDTR_MIN | GDTR_MAX);
            EXPECT_EQ(range[0].wYear, kFirstYear);
            EXPECT_EQ(range[1].wYear, kLastYear);
            bool picked = PickDate(options, c.year, c.month, c.day);
            if (c.supported) {
                EXPECT_TRUE(picked);
            }
            gui::Click(options, IDOK);
            EXPECT_TRUE(gui::WaitForWindowGone(options));
            gui::PressKey(main, VK_ESCAPE);
        });
        std::int64_t expected = c.supported ? LocalTime(c.year, c.month, c.day, 13, 45, 10) : before.tDate;
        EXPECT_EQ(after.tDate, expected);

        MemoryProfile profile;
        SaveSettings(profile, after);
        Settings loaded;
        LoadSettings(profile, loaded);
        std::optional<LocalDateTime> saved = SplitLocalTime(after.tDate), reloaded = SplitLocalTime(loaded.tDate);
        ASSERT_TRUE(saved && reloaded);
        EXPECT_EQ(reloaded->year, saved->year);
        EXPECT_EQ(reloaded->month, saved->month);
        EXPECT_EQ(reloaded->day, saved->day);
    }
}

// The template as the user meets it: the tab order from the first box,
// self-toggling boxes without access keys, the picker's and trackbar's looks.
TEST(OptionsTemplate, TabOrderControlsAndCaptionsFit) {
    RunMainWindowWith(SampleSettings(), [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        std::vector<int> tabOrder;
        // The first tab stop gets the focus when the dialog opens.
        HWND first = GetNextDlgTabItem(options, nullptr, FALSE);
        HWND item = first;
        do {
            tabOrder.push_back(GetDlgCtrlID(item));
            item = GetNextDlgTabItem(options, item, FALSE);
        } while (item && item != first && tabOrder.size() < 40);
        std::vector<int> expected(kSwitchBoxes.begin(), kSwitchBoxes.end());
        expected.insert(expected.end(), {IDC_TEMPDIR, IDC_BROWSE, IDC_DATE, IDC_LEVEL, IDOK, IDCANCEL});
        EXPECT_EQ(tabOrder, expected);

        for (int id : kSwitchBoxes) {
            HWND box = gui::Item(options, id);
            EXPECT_EQ(GetWindowLongW(box, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX) << id;
            EXPECT_EQ(gui::Text(box).find(L'&'), std::wstring::npos) << id;
        }
        LONG picker = GetWindowLongW(gui::Item(options, IDC_DATE), GWL_STYLE);
        EXPECT_EQ(picker & (DTS_LONGDATEFORMAT | DTS_RIGHTALIGN), DTS_LONGDATEFORMAT | DTS_RIGHTALIGN);
        LONG trackbar = GetWindowLongW(gui::Item(options, IDC_LEVEL), GWL_STYLE);
        EXPECT_EQ(trackbar & (TBS_VERT | TBS_TOP | TBS_BOTH | TBS_NOTICKS), 0);
        EXPECT_EQ(SendMessageW(gui::Item(options, IDC_LEVEL), TBM_GETNUMTICS, 0, 0), 10);
        EXPECT_EQ(GetWindowLongW(gui::Item(options, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

        for (const std::wstring& misfit : gui::CaptionsThatDoNotFit(options)) {
            ADD_FAILURE() << "caption does not fit: " << gui::Utf8(misfit);
        }
        gui::Click(options, IDCANCEL);
        EXPECT_TRUE(gui::WaitForWindowGone(options));
        gui::PressKey(main, VK_ESCAPE);
    });
}

}  // namespace
