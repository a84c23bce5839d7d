// The engine's comment and password prompts, called as the engine calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "gui_harness.h"
#include "job/engine_callbacks.h"
#include "job_test_support.h"
#include "resource.h"

namespace {

using job_test::kCommentCaption;
using job_test::kPasswordCaption;

// A comment buffer as the engine hands it over: capacity bytes, the rest
// poisoned so that a missing terminator shows.
std::vector<char> CommentBuffer(const std::string& text) {
    std::vector<char> buffer(kZipCommentCapacity, '\x7f');
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    return buffer;
}

struct CommentCase {
    const char* what;
    std::string initial;
    std::function<void(HWND)> user;  // acts on the open prompt
    std::string expected;
};

TEST(CommentPrompt, AnswersTheEngine) {
    const CommentCase cases[] = {
        {"OK without editing keeps the text", "old \x95\x5c",
         [](HWND dlg) {
             EXPECT_EQ(gui::Text(gui::Item(dlg, IDC_COMMENT_TEXT)), L"old 表");
             EXPECT_TRUE(gui::IsEnabled(dlg, IDOK));
             gui::Click(dlg, IDOK);
         },
         "old \x95\x5c"},
        {"Cancel keeps an existing comment", "keep me",
         [](HWND dlg) {
             gui::ClearText(gui::Item(dlg, IDC_COMMENT_TEXT));
             gui::Click(dlg, IDCANCEL);
         },
         "keep me"},
        {"a new text replaces the old", "old",
         [](HWND dlg) {
             gui::TypeText(gui::Item(dlg, IDC_COMMENT_TEXT), L"新しい");
             gui::Click(dlg, IDOK);
         },
         "\x90\x56\x82\xb5\x82\xa2"},
        {"OK follows the entry", "",
         [](HWND dlg) {
             EXPECT_FALSE(gui::IsEnabled(dlg, IDOK));
             gui::TypeText(gui::Item(dlg, IDC_COMMENT_TEXT), L" ");
             EXPECT_TRUE(gui::IsEnabled(dlg, IDOK));
             gui::ClearText(gui::Item(dlg, IDC_COMMENT_TEXT));
             EXPECT_FALSE(gui::IsEnabled(dlg, IDOK));
             gui::PressCloseBox(dlg);
         },
         ""},
        {"a line break typed with Ctrl+Enter is kept", "",
         [](HWND dlg) {
             HWND entry = gui::Item(dlg, IDC_COMMENT_TEXT);
             gui::TypeText(entry, L"a");
             SendMessageW(entry, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\r\nb"));
             gui::Click(dlg, IDOK);
         },
         "a\r\nb"},
    };
    for (const CommentCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<char> buffer = CommentBuffer(c.initial);
        gui::RunWithUser([&] { EXPECT_EQ(ZipComment(buffer.data()), 1); },
                         [&] {
                             HWND dlg = gui::WaitForWindow(kCommentCaption);
                             ASSERT_TRUE(dlg);
                             EXPECT_EQ(gui::Text(gui::Item(dlg, IDC_PROMPT)),
                                       L"enter new zip file comment: ");
                             c.user(dlg);
                             EXPECT_TRUE(gui::WaitForWindowGone(dlg));
                         });
        EXPECT_STREQ(buffer.data(), c.expected.c_str());
    }
}

TEST(CommentPrompt, EntryStopsAtTheEngineCapacity) {
    // An existing comment one byte short of the limit: a one-byte character
    // fits, a two-byte one does not and is refused whole.
    std::vector<char> buffer = CommentBuffer(std::string(kZipCommentCapacity - 2, 'c'));
    gui::RunWithUser([&] { ZipComment(buffer.data()); },
                     [&] {
                         HWND dlg = gui::WaitForWindow(kCommentCaption);
                         ASSERT_TRUE(dlg);
                         HWND entry = gui::Item(dlg, IDC_COMMENT_TEXT);
                         SendMessageW(entry, EM_SETSEL, 0, 0);
                         SendMessageW(entry, WM_CHAR, L'表', 1);
                         EXPECT_EQ(GetWindowTextLengthW(entry), kZipCommentCapacity - 2);
                         SendMessageW(entry, WM_CHAR, L'x', 1);
                         EXPECT_EQ(GetWindowTextLengthW(entry), kZipCommentCapacity - 1);
                         gui::Click(dlg, IDOK);
                     });
    EXPECT_EQ(std::strlen(buffer.data()), static_cast<size_t>(kZipCommentCapacity - 1));
    EXPECT_EQ(buffer[0], 'x');
}

struct PasswordCase {
    const char* what;
    int capacity;
    std::function<void(HWND)> user;
    std::string expected;
};

TEST(PasswordPrompt, AnswersTheEngine) {
    const PasswordCase cases[] = {
        {"typed and confirmed with OK", kZipPasswordCapacity,
         [](HWND dlg) {
             EXPECT_FALSE(gui::IsEnabled(dlg, IDOK));
             gui::TypeText(gui::Item(dlg, IDC_PASSWORD), L"s");
             EXPECT_TRUE(gui::IsEnabled(dlg, IDOK));
             gui::ClearText(gui::Item(dlg, IDC_PASSWORD));
             EXPECT_FALSE(gui::IsEnabled(dlg, IDOK));
             gui::TypeText(gui::Item(dlg, IDC_PASSWORD), L"secret");
             gui::Click(dlg, IDOK);
         },
         "secret"},
        {"Cancel gives an empty password", kZipPasswordCapacity,
         [](HWND dlg) {
             gui::TypeText(gui::Item(dlg, IDC_PASSWORD), L"secret");
             gui::Click(dlg, IDCANCEL);
         },
         ""},
        {"Enter does nothing while OK is disabled, Escape cancels", kZipPasswordCapacity,
         [](HWND dlg) {
             HWND entry = gui::Item(dlg, IDC_PASSWORD);
             gui::PressKey(dlg, VK_RETURN);
             PostMessageW(entry, WM_CHAR, L'z', 1);
             EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(entry) == L"z"; }));
             EXPECT_TRUE(IsWindowVisible(dlg));
             gui::PressKey(dlg, VK_ESCAPE);
         },
         ""},
        {"typing stops at the capacity", 8,
         [](HWND dlg) {
             gui::TypeText(gui::Item(dlg, IDC_PASSWORD), L"123456789");
             gui::Click(dlg, IDOK);
         },
         "1234567"},
        {"a double-byte character that does not fit is refused", 8,
         [](HWND dlg) {
             gui::TypeText(gui::Item(dlg, IDC_PASSWORD), L"あいうえ");
             gui::Click(dlg, IDOK);
         },
         "\x82\xa0\x82\xa2\x82\xa4"},
    };
    for (const PasswordCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<char> buffer(static_cast<size_t>(c.capacity) + 8, '\x7f');
        std::strcpy(buffer.data(), "old");
        gui::RunWithUser(
            [&] { EXPECT_EQ(ZipPassword(buffer.data(), c.capacity, "Enter password: ", "a.txt"), 0); },
            [&] {
                HWND dlg = gui::WaitForWindow(kPasswordCaption);
                ASSERT_TRUE(dlg);
                EXPECT_EQ(gui::Text(gui::Item(dlg, IDC_PROMPT)), L"Enter password: ");
                c.user(dlg);
                EXPECT_TRUE(gui::WaitForWindowGone(dlg));
            });
        EXPECT_STREQ(buffer.data(), c.expected.c_str());
        EXPECT_EQ(buffer[static_cast<size_t>(c.capacity)], '\x7f');  // nothing beyond capacity
    }
}

}  // namespace
