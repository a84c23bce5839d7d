// The About item of the main window's system menu, the About box, and the
// captions of every window fitting their controls.
#include "options_support.h"

using namespace options_test;

namespace {

// Every caption fits its control (the About box's icon static has the
// resource ordinal as its text, no caption).
void ExpectCaptionsFit(HWND window) {
    for (const std::wstring& misfit : gui::CaptionsThatDoNotFit(window))
        if (misfit.find(L'\xFFFF') == std::wstring::npos)
            ADD_FAILURE() << gui::Utf8(gui::Text(window)) << ": caption does not fit: " << gui::Utf8(misfit);
}

const std::function<void(HWND)> kCloseWays[] = {
    [](HWND about) { gui::Click(about, IDOK); },
    [](HWND about) { gui::PressKey(about, VK_RETURN); },
    [](HWND about) { gui::PressKey(about, VK_ESCAPE); },
    [](HWND about) { gui::PressCloseBox(about); },
};

// The About box for a posted system command, owned by the main window and
// modal, closed one of the four ways; then the main window is usable again.
void OpenAndCloseAbout(HWND main, WPARAM command, const std::function<void(HWND)>& close) {
    PostMessageW(main, WM_SYSCOMMAND, command, 0x00500050);
    HWND about = gui::WaitForWindow(kAboutCaption);
    ASSERT_TRUE(about) << "no About box for command " << command;
    EXPECT_EQ(GetWindow(about, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main));
    ExpectCaptionsFit(about);
    EndDialog(about, close);
    EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
}

// Commands 0x10..0x1F and the menu item (the last, after a separator) open
// the box; bits above the low sixteen are not part of the command. Other
// commands do not open it (one that did would keep the synchronous call
// waiting in the box's modal loop), and close still ends the main window.
TEST(AboutBox, OpensForCommands0x10To0x1FAndTheMenuItemAndClosesEveryWay) {
    Settings before = SampleSettings();
    Settings after = RunMainWindowWith(before, [&](HWND main) {
        ExpectCaptionsFit(main);
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        ExpectCaptionsFit(options);
        EndDialog(options, [](HWND dialog) { gui::PressKey(dialog, VK_ESCAPE); });

        for (WPARAM command = 0x10; command <= 0x1F; ++command) {
            OpenAndCloseAbout(main, command, kCloseWays[command % 4]);
        }
        OpenAndCloseAbout(main, 0x10010, kCloseWays[0]);

        HMENU menu = GetSystemMenu(main, FALSE);
        int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
        EXPECT_EQ(GetMenuState(menu, count - 1, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED), 0u);
        wchar_t text[64] = {};
        GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(text), L"ﾊﾞｰｼﾞｮﾝ情報(Tirvo) (&A)...");
        OpenAndCloseAbout(main, GetMenuItemID(menu, count - 1), kCloseWays[1]);

        for (WPARAM command : {0x00, 0x0F, 0x20, 0x2F}) {
            DWORD_PTR result = 0;
            EXPECT_TRUE(SendMessageTimeoutW(main, WM_SYSCOMMAND, command, 0, SMTO_BLOCK, 10000, &result))
                << "command " << command;
            EXPECT_FALSE(gui::FindWindowByCaption(kAboutCaption)) << "command " << command;
        }
        gui::PressCloseBox(main);
        EXPECT_TRUE(gui::WaitForWindowGone(main));
    });
    EXPECT_EQ(Fields(after), Fields(before));
}

}  // namespace
