// The About item of the main window's system menu and the About box.
#include "options_support.h"

using namespace options_test;

namespace {

enum class CloseWay { OkButton, Enter, Escape, CloseBox };

void CloseAbout(HWND about, CloseWay way) {
    switch (way) {
    case CloseWay::OkButton: gui::Click(about, IDOK); break;
    case CloseWay::Enter: gui::PressKey(about, VK_RETURN); break;
    case CloseWay::Escape: gui::PressKey(about, VK_ESCAPE); break;
    case CloseWay::CloseBox: gui::PressCloseBox(about); break;
    }
}

// The About box's icon static has the resource ordinal as its window text;
// it has no caption to fit.
std::vector<std::wstring> CaptionsThatDoNotFitExceptIcons(HWND dialog) {
    std::vector<std::wstring> misfits;
    for (const std::wstring& misfit : gui::CaptionsThatDoNotFit(dialog)) {
        if (misfit.find(L'\xFFFF') == std::wstring::npos) misfits.push_back(misfit);
    }
    return misfits;
}

// The About box for a posted system command, closed one of the four ways;
// afterwards the main window is usable again.
void OpenAndCloseAbout(HWND main, WPARAM command, CloseWay way) {
    PostMessageW(main, WM_SYSCOMMAND, command, 0x00500050);
    HWND about = gui::WaitForWindow(kAboutCaption);
    ASSERT_TRUE(about) << "no About box for command " << command;
    EXPECT_EQ(GetWindow(about, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main));
    CloseAbout(about, way);
    EXPECT_TRUE(gui::WaitForWindowGone(about)) << "command " << command;
    EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
}

TEST(AboutBox, OpensForEverySystemCommandFrom0x10To0x1FAndClosesEveryWay) {
    const CloseWay ways[] = {CloseWay::OkButton, CloseWay::Enter, CloseWay::Escape, CloseWay::CloseBox};
    Settings before = SampleSettings();
    Settings after = RunMainWindowWith(before, [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        for (WPARAM command = 0x10; command <= 0x1F; ++command) {
            OpenAndCloseAbout(main, command, ways[command % 4]);
        }
        // Bits above the low sixteen are not part of the command.
        OpenAndCloseAbout(main, 0x10010, CloseWay::OkButton);
        gui::PressKey(main, VK_ESCAPE);
    });
    ExpectSameSettings(after, before);
}

TEST(AboutBox, MenuItemEndsTheSystemMenuAndOpensTheBox) {
    RunMainWindowWith(SampleSettings(), [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        HMENU menu = GetSystemMenu(main, FALSE);
        ASSERT_TRUE(menu);
        int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        wchar_t text[64] = {};
        GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(text), L"ﾊﾞｰｼﾞｮﾝ情報(Tirvo) (&A)...");
        EXPECT_EQ(GetMenuState(menu, count - 1, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED), 0u);

        // Choosing the item sends its id as the system command.
        OpenAndCloseAbout(main, GetMenuItemID(menu, count - 1), CloseWay::Enter);
        gui::PressKey(main, VK_ESCAPE);
    });
}

TEST(AboutBox, ShowsIconNameVersionAndTwoLineAuthorThatFit) {
    RunMainWindowWith(SampleSettings(), [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND about = gui::WaitForWindow(kAboutCaption);
        ASSERT_TRUE(about);
        bool icon = false, name = false, author = false;
        for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            LONG style = GetWindowLongW(child, GWL_STYLE);
            std::wstring text = gui::Text(child);
            if ((style & SS_TYPEMASK) == SS_ICON) {
                icon = SendMessageW(child, STM_GETICON, 0, 0) != 0;
            }
            if (text == L"Tirvo ver0.02d") name = (style & SS_NOPREFIX) != 0;
            std::size_t lineEnd = text.find(L'\n');
            if (lineEnd != std::wstring::npos) {
                author = lineEnd > 0 && text.compare(lineEnd, 2, L"\n\t") == 0 &&
                         text.find(L'\n', lineEnd + 1) == std::wstring::npos;
            }
        }
        EXPECT_TRUE(icon) << "program icon";
        EXPECT_TRUE(name) << "name and version without access-key processing";
        EXPECT_TRUE(author) << "two-line author line, the second beginning with a tab";
        for (const std::wstring& misfit : CaptionsThatDoNotFitExceptIcons(about)) {
            ADD_FAILURE() << "caption does not fit: " << gui::Utf8(misfit);
        }
        gui::Click(about, IDOK);
        EXPECT_TRUE(gui::WaitForWindowGone(about));
        gui::PressKey(main, VK_ESCAPE);
    });
}

// Commands outside 0x10..0x1F do not open the box (a command that did would
// keep this synchronous call waiting in the box's modal loop), and the
// platform's own commands keep their meaning: close ends the main window.
TEST(AboutBox, OtherSystemCommandsKeepTheirMeaning) {
    RunMainWindowWith(SampleSettings(), [&] {
        HWND main = gui::WaitForWindow(kMainCaption);
        ASSERT_TRUE(main);
        for (WPARAM command : {0x00, 0x0F, 0x20, 0x2F}) {
            DWORD_PTR result = 0;
            EXPECT_TRUE(SendMessageTimeoutW(main, WM_SYSCOMMAND, command, 0, SMTO_BLOCK, 10000, &result))
                << "command " << command;
            EXPECT_FALSE(gui::FindWindowByCaption(kAboutCaption)) << "command " << command;
        }
        gui::PressCloseBox(main);
        EXPECT_TRUE(gui::WaitForWindowGone(main));
    });
}

}  // namespace
