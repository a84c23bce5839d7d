// The real main window, started as the program starts it; the registry shows what was saved.
#include "gui_harness.h"

#include "resource.h"

namespace {

// The last item of the system menu and system commands 0x10..0x1F (the system may set the low bits) open the modal
// About box, closed each of the four ways; 0x0F and 0x20 do not. Every caption of the main window and the box fits.
void UseAboutBox(HWND main) {
    gui::ExpectCaptionsFit(main);
    HMENU menu = GetSystemMenu(main, FALSE);
    const int last = GetMenuItemCount(menu) - 1;
    wchar_t text[64] = {};
    GetMenuStringW(menu, last, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"ﾊﾞｰｼﾞｮﾝ情報(Tirvo) (&A)...");
    EXPECT_TRUE(GetMenuItemID(menu, last) == IDM_ABOUTBOX &&
                GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR);
    for (WPARAM command = 0x0F; command <= 0x20; ++command) {
        SCOPED_TRACE(command);
        DWORD_PTR result = 0;
        if (command == 0x0F || command == 0x20) {
            EXPECT_TRUE(SendMessageTimeoutW(main, WM_SYSCOMMAND, command, 0, SMTO_BLOCK, 10000, &result));
            EXPECT_FALSE(gui::WaitForWindow(L"ﾊﾞｰｼﾞｮﾝ情報 Tirvo", {}));
            continue;
        }
        PostMessageW(main, WM_SYSCOMMAND, command, 0x00500050);
        HWND about = gui::WaitForWindow(L"ﾊﾞｰｼﾞｮﾝ情報 Tirvo");
        ASSERT_TRUE(about);
        EXPECT_TRUE(GetWindow(about, GW_OWNER) == main && !IsWindowEnabled(main));
        if (command == 0x10) gui::ExpectCaptionsFit(about);
        if (command % 4 == 0) gui::Click(about, IDOK);
        else if (command % 4 == 3) gui::PressCloseBox(about);
        else gui::PressKey(about, command % 4 == 1 ? VK_RETURN : VK_ESCAPE);
        EXPECT_TRUE(gui::WaitForWindowGone(about));
        EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
    }
}

// The window shows what is stored (nothing on a first run; a mode outside the group checks no button, saved as -1)
// and each ending saves what is on screen. The on-top box turns the window over, drops are taken exactly while a
// name is set.
TEST(MainWindow, StartsWithWhatIsStoredAndEveryEndingSavesWhatIsOnScreen) {
    const std::wstring newName = L"D:\\新しい\\new.zip";
    const struct {
        const wchar_t* fileName;
        DWORD mode, topMost;
        UINT endKey;  // 0: the close box
        bool change;  // mode, three boxes and the name changed before the end
    } cases[] = {{nullptr, 0, 1, VK_ESCAPE, false},
                 {L"C:\\保存\\old.zip", 1, 1, VK_RETURN, true},
                 {nullptr, 3, 0, 0, true},  // and the About box
                 {nullptr, 7, 1, VK_ESCAPE, false}};
    HICON programIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        gui::TestProfile profile;
        if (c.fileName) profile.Write(L"stFileName", c.fileName);
        if (c.mode) profile.Write(L"nMode", c.mode);
        if (!c.topMost) profile.Write(L"bTopMost", c.topMost);
        const std::wstring name = c.fileName ? c.fileName : L"";
        gui::RunWithUser([&] { CArchiverApp(profile.appName.c_str()).InitInstance(); }, [&] {
            HWND main = gui::WaitForWindow(L"Tirvo");
            ASSERT_TRUE(main);
            HWND nameField = GetDlgItem(main, IDC_FILENAME);
            EXPECT_EQ(gui::Text(nameField), name);
            for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(gui::IsChecked(main, IDC_MODE_ADD + i), i == c.mode) << i;
            for (int id : {IDC_ENCRYPT, IDC_JUNKDIR, IDC_FORCE, IDC_COMMENT})
                EXPECT_FALSE(gui::IsChecked(main, id)) << id;
            EXPECT_EQ(gui::IsChecked(main, IDC_TOPMOST), c.topMost == 1);
            EXPECT_EQ(gui::HasExStyle(main, WS_EX_TOPMOST), c.topMost == 1);
            EXPECT_EQ(gui::HasExStyle(main, WS_EX_ACCEPTFILES), !name.empty());
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(main, WM_GETICON, ICON_BIG, 0)), programIcon);
            if (!c.topMost) UseAboutBox(main);
            if (c.change) {
                for (int id : {IDC_MODE_UPDATE, IDC_JUNKDIR, IDC_COMMENT, IDC_TOPMOST}) gui::Click(main, id);
                EXPECT_EQ(gui::HasExStyle(main, WS_EX_TOPMOST), c.topMost == 0);
                for (const wchar_t* typed : {L"", L"C", L" "}) {
                    gui::TypeText(nameField, typed);
                    EXPECT_EQ(gui::HasExStyle(main, WS_EX_ACCEPTFILES), *typed != 0);
                }
                gui::TypeText(nameField, newName);
                EXPECT_TRUE(gui::IsChecked(main, IDC_COMMENT));
            }
            c.endKey ? gui::PressKey(main, c.endKey) : gui::PressCloseBox(main);
            EXPECT_TRUE(gui::WaitForWindowGone(main));
        });
        EXPECT_EQ(profile.ReadString(L"stFileName"), c.change ? newName : name);
        EXPECT_EQ(profile.ReadDword(L"nMode"), c.change ? 2u : c.mode < 4 ? c.mode : 0xFFFFFFFFu);
        for (const wchar_t* box : {L"bJunkDir", L"bComment"}) EXPECT_EQ(profile.ReadDword(box), c.change ? 1u : 0u);
        EXPECT_EQ(profile.ReadDword(L"bEncrypt"), 0u);
        EXPECT_EQ(profile.ReadDword(L"bTopMost"), c.change ? 1 - c.topMost : c.topMost);
    }
}

}  // namespace
