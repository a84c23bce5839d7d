// The real main window, started as the program starts it, driven by a user
// thread; the registry shows what was saved.
#include "gui_harness.h"

#include "resource.h"

#include <commctrl.h>

#include <fstream>

namespace {

constexpr int kModeButtons[] = {IDC_MODE_ADD, IDC_MODE_MOVE, IDC_MODE_UPDATE, IDC_MODE_FRESHEN};

// The checked mode button's index, -1 for none.
int CheckedMode(HWND main) {
    int checked = -1;
    for (int i = 0; i < 4; ++i) {
        if (gui::IsChecked(main, kModeButtons[i])) checked = i;
    }
    return checked;
}

// What is stored before the start (nothing on the first run) and what the
// window shows; then each way to end the run (Enter is OK processing, Escape
// and the close box Cancel processing) saves what is on screen at that
// moment: values as stored, where a mode outside the group checks no button
// and is saved as -1, or what the user changed.
TEST(MainWindow, StartsWithWhatIsStoredAndEveryEndingSavesWhatIsOnScreen) {
    struct Case {
        const char* what;
        const wchar_t* fileName;
        DWORD mode, topMost;
        void (*end)(HWND);
        bool change;  // mode, two boxes and the name changed before the end
    };
    const auto escape = [](HWND main) { gui::PressKey(main, VK_ESCAPE); };
    const Case cases[] = {
        {"first run", nullptr, 0, 1, escape, false},
        {"stored name, Enter", L"C:\\保存\\old.zip", 1, 1, [](HWND main) { gui::PressKey(main, VK_RETURN); }, true},
        {"not on top, close box", nullptr, 3, 0, [](HWND main) { gui::PressCloseBox(main); }, true},
        {"mode 7", nullptr, 7, 1, escape, false}};
    HICON programIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_TRUE(programIcon);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gui::TestProfile profile;
        if (c.fileName) profile.WriteString(L"stFileName", c.fileName);
        if (c.mode) profile.WriteDword(L"nMode", c.mode);
        if (!c.topMost) profile.WriteDword(L"bTopMost", 0);
        const std::wstring name = c.fileName ? c.fileName : L"";
        gui::RunMainWindow(profile, [&] {
            HWND main = gui::WaitForWindow(L"Tirvo");
            ASSERT_TRUE(main);
            EXPECT_EQ(gui::Text(gui::Item(main, IDC_FILENAME)), name);
            EXPECT_EQ(CheckedMode(main), c.mode < 4 ? static_cast<int>(c.mode) : -1);
            for (int id : {IDC_ENCRYPT, IDC_JUNKDIR, IDC_FORCE, IDC_COMMENT}) {
                EXPECT_FALSE(gui::IsChecked(main, id)) << id;
            }
            EXPECT_EQ(gui::IsChecked(main, IDC_TOPMOST), c.topMost == 1);
            EXPECT_EQ(gui::IsTopMost(main), c.topMost == 1);
            EXPECT_EQ(gui::AcceptsDrops(main), !name.empty());
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(main, WM_QUERYDRAGICON, 0, 0)), programIcon);
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(main, WM_GETICON, ICON_BIG, 0)), programIcon);
            if (c.change) {
                for (int id : {IDC_MODE_UPDATE, IDC_JUNKDIR, IDC_COMMENT}) gui::Click(main, id);
                gui::TypeText(gui::Item(main, IDC_FILENAME), L"D:\\作業\\x.zip");
            }
            c.end(main);
            EXPECT_TRUE(gui::WaitForWindowGone(main));
        });
        EXPECT_EQ(profile.ReadString(L"stFileName"), c.change ? L"D:\\作業\\x.zip" : name);
        EXPECT_EQ(profile.ReadDword(L"nMode"), c.change ? 2u : c.mode < 4 ? c.mode : 0xFFFFFFFFu);
        EXPECT_EQ(profile.ReadDword(L"bJunkDir"), c.change ? 1u : 0u);
        EXPECT_EQ(profile.ReadDword(L"bComment"), c.change ? 1u : 0u);
        EXPECT_EQ(profile.ReadDword(L"bEncrypt"), 0u);
        EXPECT_EQ(profile.ReadDword(L"bTopMost"), c.topMost);
    }
}

// Opens the file chooser (modal: the main window is disabled), lets act()
// end it and waits until the main window is usable again.
void UseFileChooser(HWND main, const std::function<void(HWND)>& act) {
    gui::PostClick(main, IDC_BROWSE);
    HWND chooser = nullptr;
    ASSERT_TRUE(gui::WaitUntil([&] {
        for (HWND hwnd : gui::OwnTopWindows()) {
            if (hwnd != main) chooser = hwnd;
        }
        return chooser != nullptr;
    }));
    EXPECT_FALSE(IsWindowEnabled(main));
    act(chooser);
    ASSERT_TRUE(gui::WaitForWindowGone(chooser));
    ASSERT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
}

// The chooser's name field: edt1, or the edit of its combo box cmb13.
HWND NameField(HWND chooser) {
    HWND field = GetDlgItem(chooser, 0x480);
    return field ? field : reinterpret_cast<HWND>(SendMessageW(GetDlgItem(chooser, 0x47c), CBEM_GETEDITCONTROL, 0, 0));
}

// Each click of the on-top box turns the window's own state over, and the
// box shows it. A cancelled file chooser changes nothing on screen; a chosen
// file becomes the name, and the chooser then opens in its folder with no
// name given. Drops are accepted exactly while a name is set, from the first
// character typed to the moment it is cleared; a drop arriving while the
// name is only a space is released and leaves the window as it was.
TEST(MainWindow, TopMostBoxNameAndFileChooserChangeTheWindowAtOnce) {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::wstring existing = std::wstring(temp) + L"tirvo_chooser_test.zip";
    { std::ofstream(existing.c_str()) << "x"; }   // the chooser wants an existing file
    const std::wstring other = std::wstring(temp) + L"tirvo_chooser_folder";
    CreateDirectoryW(other.c_str(), nullptr);
    gui::TestProfile profile;
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        for (bool onTop : {false, true, false}) {
            gui::Click(main, IDC_TOPMOST);
            EXPECT_EQ(gui::IsChecked(main, IDC_TOPMOST), onTop);
            EXPECT_EQ(gui::IsTopMost(main), onTop);
        }
        HWND name = gui::Item(main, IDC_FILENAME);
        gui::TypeText(name, L"C:\\keep\\me.zip");
        gui::Click(main, IDC_MODE_FRESHEN);
        gui::Click(main, IDC_ENCRYPT);
        UseFileChooser(main, [](HWND chooser) { PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0); });
        EXPECT_EQ(gui::Text(gui::Item(main, IDC_FILENAME)), L"C:\\keep\\me.zip");
        EXPECT_EQ(CheckedMode(main), 3);
        EXPECT_TRUE(gui::IsChecked(main, IDC_ENCRYPT));
        EXPECT_TRUE(gui::AcceptsDrops(main));

        UseFileChooser(main, [&](HWND chooser) {
            HWND field = NameField(chooser);
            ASSERT_TRUE(field);
            gui::SetText(field, existing);
            PostMessageW(chooser, WM_COMMAND, IDOK, 0);
        });
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(gui::Item(main, IDC_FILENAME)) == existing; }));
        // Not the folder just used, which the chooser may remember itself.
        gui::SetText(gui::Item(main, IDC_FILENAME), other + L"\\new.zip");
        UseFileChooser(main, [&](HWND chooser) {
            wchar_t folder[MAX_PATH + 1] = {};
            SendMessageW(chooser, CDM_GETFOLDERPATH, MAX_PATH + 1, reinterpret_cast<LPARAM>(folder));
            EXPECT_EQ(lstrcmpiW(folder, other.c_str()), 0) << gui::Utf8(folder);
            EXPECT_EQ(gui::Text(NameField(chooser)), L"");
            PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
        });
        gui::ClearText(name);
        EXPECT_FALSE(gui::AcceptsDrops(main));
        gui::TypeText(name, L"C");
        EXPECT_TRUE(gui::AcceptsDrops(main));
        gui::SetText(name, L" ");
        EXPECT_TRUE(gui::AcceptsDrops(main));
        EXPECT_TRUE(gui::PostDrop(main, {L"C:\\windows\\win.ini"}));
        gui::SetText(name, other + L"\\new.zip");
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(profile.ReadString(L"stFileName"), other + L"\\new.zip");
    EXPECT_EQ(profile.ReadDword(L"bTopMost"), 0u);
    DeleteFileW(existing.c_str());
    RemoveDirectoryW(other.c_str());
}

}  // namespace
