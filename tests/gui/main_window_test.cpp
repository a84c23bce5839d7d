// The real main window, started as the program starts it, driven by a user
// thread; the registry shows what was saved.
#include "gui_harness.h"

#include "resource.h"

#include <commctrl.h>

#include <fstream>

namespace {

constexpr int kModeButtons[] = {IDC_MODE_ADD, IDC_MODE_MOVE, IDC_MODE_UPDATE, IDC_MODE_FRESHEN};
constexpr int kOptionBoxes[] = {IDC_ENCRYPT, IDC_JUNKDIR, IDC_FORCE, IDC_COMMENT};

// The checked mode button's index, -1 for none.
int CheckedMode(HWND main) {
    int checked = -1;
    for (int i = 0; i < 4; ++i) {
        if (gui::IsChecked(main, kModeButtons[i])) checked = i;
    }
    return checked;
}

// Another visible window of this process than the main window: the file
// chooser, once it is open.
HWND WaitForOtherWindow(HWND main) {
    HWND other = nullptr;
    gui::WaitUntil([&] {
        for (HWND hwnd : gui::OwnTopWindows()) {
            if (hwnd != main) other = hwnd;
        }
        return other != nullptr;
    });
    return other;
}

TEST(MainWindow, FirstRunShowsDefaultsOnTopAndRefusesDrops) {
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        EXPECT_EQ(gui::Text(gui::Item(main, IDC_FILENAME)), L"");
        EXPECT_EQ(CheckedMode(main), 0);
        for (int id : kOptionBoxes) EXPECT_FALSE(gui::IsChecked(main, id)) << id;
        EXPECT_TRUE(gui::IsChecked(main, IDC_TOPMOST));
        EXPECT_TRUE(gui::IsTopMost(main));
        EXPECT_FALSE(gui::AcceptsDrops(main));
        gui::PressKey(main, VK_ESCAPE);
    });
    // Everything is written back, the date included.
    EXPECT_EQ(profile.ReadDword(L"Year"), 2000u);
    EXPECT_EQ(profile.ReadDword(L"Month"), 12u);
    EXPECT_EQ(profile.ReadDword(L"Day"), 29u);
    EXPECT_EQ(profile.ReadDword(L"bSystem"), 1u);
    EXPECT_EQ(profile.ReadDword(L"nLevel"), 6u);
    EXPECT_EQ(profile.ReadDword(L"nMode"), 0u);
    EXPECT_EQ(profile.ReadDword(L"bTopMost"), 1u);
    EXPECT_EQ(profile.ReadString(L"stFileName"), L"");
    EXPECT_EQ(profile.ReadString(L"stTempDir"), L"");
}

TEST(MainWindow, DropsAreAcceptedExactlyWhileANameIsSet) {
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        HWND name = gui::Item(main, IDC_FILENAME);
        gui::TypeText(name, L"C:\\書庫\\a.zip");
        EXPECT_TRUE(gui::AcceptsDrops(main));
        gui::ClearText(name);
        EXPECT_FALSE(gui::AcceptsDrops(main));   // at once, not later
        gui::SetText(name, L" ");
        EXPECT_TRUE(gui::AcceptsDrops(main));
        // A drop arriving now is released by the drop handler and leaves the
        // window as it was.
        EXPECT_TRUE(gui::PostDrop(main, {L"C:\\windows\\win.ini"}));
        gui::TypeText(name, L"C:\\b.zip");
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(profile.ReadString(L"stFileName"), L"C:\\b.zip");
}

TEST(MainWindow, StoredNameAcceptsDropsFromTheStart) {
    gui::TestProfile profile;
    profile.WriteString(L"stFileName", L"C:\\保存\\old.zip");
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        EXPECT_EQ(gui::Text(gui::Item(main, IDC_FILENAME)), L"C:\\保存\\old.zip");
        EXPECT_TRUE(gui::AcceptsDrops(main));
        gui::PressKey(main, VK_ESCAPE);
    });
}

TEST(MainWindow, TopMostBoxFollowsTheWindowsOwnState) {
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        gui::Click(main, IDC_TOPMOST);
        EXPECT_FALSE(gui::IsChecked(main, IDC_TOPMOST));
        EXPECT_FALSE(gui::IsTopMost(main));
        gui::Click(main, IDC_TOPMOST);
        EXPECT_TRUE(gui::IsChecked(main, IDC_TOPMOST));
        EXPECT_TRUE(gui::IsTopMost(main));
        gui::Click(main, IDC_TOPMOST);
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(profile.ReadDword(L"bTopMost"), 0u);
}

TEST(MainWindow, StoredTopMostOffOpensAnOrdinaryWindow) {
    gui::TestProfile profile;
    profile.WriteDword(L"bTopMost", 0);
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        EXPECT_FALSE(gui::IsChecked(main, IDC_TOPMOST));
        EXPECT_FALSE(gui::IsTopMost(main));
        gui::Click(main, IDC_TOPMOST);
        EXPECT_TRUE(gui::IsTopMost(main));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(profile.ReadDword(L"bTopMost"), 1u);
}

// Enter (OK processing), Escape and the close box (Cancel processing) all
// save what is on screen at that moment.
struct Ending {
    const char* name;
    std::function<void(HWND)> end;
};

class MainWindowEnding : public testing::TestWithParam<Ending> {};

TEST_P(MainWindowEnding, SavesWhatIsOnScreen) {
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        gui::Click(main, IDC_MODE_UPDATE);
        gui::Click(main, IDC_JUNKDIR);
        gui::Click(main, IDC_COMMENT);
        gui::TypeText(gui::Item(main, IDC_FILENAME), L"D:\\作業\\x.zip");
        GetParam().end(main);
        EXPECT_TRUE(gui::WaitForWindowGone(main));
    });
    EXPECT_EQ(profile.ReadDword(L"nMode"), 2u);
    EXPECT_EQ(profile.ReadDword(L"bJunkDir"), 1u);
    EXPECT_EQ(profile.ReadDword(L"bComment"), 1u);
    EXPECT_EQ(profile.ReadDword(L"bEncrypt"), 0u);
    EXPECT_EQ(profile.ReadString(L"stFileName"), L"D:\\作業\\x.zip");
}

INSTANTIATE_TEST_SUITE_P(
    Endings, MainWindowEnding,
    testing::Values(Ending{"Escape", [](HWND main) { gui::PressKey(main, VK_ESCAPE); }},
                    Ending{"Enter", [](HWND main) { gui::PressKey(main, VK_RETURN); }},
                    Ending{"CloseBox", [](HWND main) { gui::PressCloseBox(main); }}),
    [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST(MainWindow, StoredModeOutsideTheGroupChecksNothingAndIsSavedAsMinusOne) {
    gui::TestProfile profile;
    profile.WriteDword(L"nMode", 7);
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        EXPECT_EQ(CheckedMode(main), -1);
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(profile.ReadDword(L"nMode"), 0xFFFFFFFFu);
}

TEST(MainWindow, CancelledFileChooserChangesNothingOnScreen) {
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        gui::TypeText(gui::Item(main, IDC_FILENAME), L"C:\\keep\\me.zip");
        gui::Click(main, IDC_MODE_FRESHEN);
        gui::Click(main, IDC_ENCRYPT);
        gui::PostClick(main, IDC_BROWSE);
        HWND chooser = WaitForOtherWindow(main);
        ASSERT_TRUE(chooser);
        EXPECT_FALSE(IsWindowEnabled(main));          // the chooser is modal
        PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(gui::WaitForWindowGone(chooser));
        ASSERT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
        EXPECT_EQ(gui::Text(gui::Item(main, IDC_FILENAME)), L"C:\\keep\\me.zip");
        EXPECT_EQ(CheckedMode(main), 3);
        EXPECT_TRUE(gui::IsChecked(main, IDC_ENCRYPT));
        EXPECT_TRUE(gui::AcceptsDrops(main));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(profile.ReadString(L"stFileName"), L"C:\\keep\\me.zip");
}

TEST(MainWindow, FileChosenInTheChooserBecomesTheName) {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    std::wstring existing = std::wstring(temp) + L"tirvo_chooser_test.zip";
    { std::ofstream(existing.c_str()) << "x"; }   // the chooser wants an existing file
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        gui::PostClick(main, IDC_BROWSE);
        HWND chooser = WaitForOtherWindow(main);
        ASSERT_TRUE(chooser);
        // The chooser's name field: edt1, or the edit of its combo box cmb13.
        HWND field = GetDlgItem(chooser, 0x480);
        if (!field) {
            field = reinterpret_cast<HWND>(SendMessageW(GetDlgItem(chooser, 0x47c), CBEM_GETEDITCONTROL, 0, 0));
        }
        ASSERT_TRUE(field);
        gui::SetText(field, existing);
        PostMessageW(chooser, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(gui::WaitForWindowGone(chooser));
        ASSERT_TRUE(gui::WaitUntil([&] { return gui::Text(gui::Item(main, IDC_FILENAME)) == existing; }));
        EXPECT_TRUE(gui::AcceptsDrops(main));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(profile.ReadString(L"stFileName"), existing);
    DeleteFileW(existing.c_str());
}

TEST(MainWindow, SystemMenuEndsWithTheAboutItemWhenTheStringExists) {
    const wchar_t* about = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&about), 0);
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        HMENU menu = GetSystemMenu(main, FALSE);
        ASSERT_TRUE(menu);
        int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        std::vector<wchar_t> text(256);
        GetMenuStringW(menu, count - 1, text.data(), static_cast<int>(text.size()), MF_BYPOSITION);
        if (length > 0) {
            EXPECT_EQ(std::wstring(text.data()), std::wstring(about, static_cast<std::size_t>(length)));
            EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
            EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
        } else {
            EXPECT_FALSE(GetMenuState(menu, count - 1, MF_BYPOSITION) & MF_SEPARATOR);
        }
        gui::PressKey(main, VK_ESCAPE);
    });
}

TEST(MainWindow, DragIconAndWindowIconAreTheProgramIcon) {
    HICON programIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_TRUE(programIcon);
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(main, WM_QUERYDRAGICON, 0, 0)), programIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(main, WM_GETICON, ICON_BIG, 0)), programIcon);
        gui::PressKey(main, VK_ESCAPE);
    });
}

TEST(MainWindow, EveryCaptionFitsItsControl) {
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        std::vector<std::wstring> misfits = gui::CaptionsThatDoNotFit(main);
        std::wstring list;
        for (const std::wstring& misfit : misfits) list += misfit + L"\n";
        EXPECT_TRUE(misfits.empty()) << gui::Utf8(list);
        gui::PressKey(main, VK_ESCAPE);
    });
}

}  // namespace
