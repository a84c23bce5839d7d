// The engine's callbacks and the windows they drive, called as an engine run calls them.
#include "job/engine_callbacks.h"
#include "job_test_support.h"
#include "ui/progress_dlg.h"

namespace {

using namespace job_test;

// A huge run's log is kept whole; of two lines printed at once the second shows when the throttle's 100 ms are up
// though nothing more is printed. A quiet run after it reads neither the finished window's Cancel nor its tick.
TEST(ProgressWindow, KeepsAHugeRunWholeAndIsLeftAloneByAQuietRunAfterIt) {
    size_t expected = 0;
    OpenProgress(1);
    ASSERT_EQ(g_bShowProgress, 1);
    HWND window = g_pProgressDlg->GetSafeHwnd();
    HWND log = GetDlgItem(window, IDC_LOG);
    EXPECT_TRUE(IsWindowVisible(window) &&
                !(gui::IsEnabled(window, IDOK) || IsWindowEnabled(log) || gui::IsChecked(window, IDC_AUTOCLOSE)));
    char line[64];
    for (int i = 0; i < 20000; ++i) {  // twenty times what an edit control holds by default
        if (i == 2) {  // 500 ms to show the second line, only a loop as a prompt's running
            EXPECT_TRUE(gui::WaitUntil([&] {
                for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
                return GetWindowTextLengthW(log) == static_cast<int>(expected);
            }, std::chrono::milliseconds(500)));
        }
        const int length = std::snprintf(line, sizeof line, "\x92\xc7\x89\xc1: dir\\file%06d.txt (42%%)\r\n", i);  // 追加
        expected += static_cast<size_t>(length) - 2;
        ZipPrint(line, static_cast<std::uint32_t>(length));
    }
    EXPECT_EQ(ZipService("a.txt", 1), 0);
    FinishProgress();
    EXPECT_TRUE(gui::IsEnabled(window, IDOK) && IsWindowEnabled(log));

    g_pProgressDlg->m_bAbort = 1;       // the quiet run reads neither this
    gui::Click(window, IDC_AUTOCLOSE);  // nor this tick after the end
    OpenProgress(0);                    // g_pProgressDlg still names the finished window
    EXPECT_EQ(g_bShowProgress, 0);
    EXPECT_EQ(ZipPrint("quiet\r\n", 7), 7u);
    EXPECT_EQ(ZipService("x", 0), 0);
    FinishProgress();
    ASSERT_TRUE(IsWindowVisible(window));
    const std::wstring text = gui::Text(log);
    EXPECT_EQ(text.size(), expected);
    EXPECT_TRUE(text.starts_with(L"追加: dir\\file000000.txt (42%)\r\n追加: dir\\file000001.txt"));
    EXPECT_TRUE(text.ends_with(L"file019999.txt (42%)\r\n"));
    gui::ExpectCaptionsFit(window);
    gui::Click(window, IDOK);
    EXPECT_FALSE(IsWindow(window));
}

TEST(Prompts, AnswerTheEngineWithinItsBuffer) {
    const std::string longComment(kZipCommentCapacity - 2, 'c');  // one byte short of the capacity
    const struct {
        int capacity;          // 0: the comment prompt, whose capacity is fixed
        std::string initial;   // the buffer as the engine hands it over
        const wchar_t* typed;  // key by key at the entry's start
        int button;
        std::string expected;
    } cases[] = {
        {0, longComment, L"表x", IDOK, "x" + longComment},  // a two-byte character is refused whole
        {8, "old", L"123456あ78", IDOK, "1234567"},         // the password too, and typing stops
        {kZipPasswordCapacity, "old", L"secret", IDCANCEL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const bool comment = c.capacity == 0;
        const auto capacity = static_cast<size_t>(comment ? kZipCommentCapacity : c.capacity);
        std::vector<char> buffer(capacity + 1, '\x7f');  // the last byte shows an overrun
        std::memcpy(buffer.data(), c.initial.c_str(), c.initial.size() + 1);
        gui::RunWithUser(
            [&] {
                if (comment) EXPECT_EQ(ZipComment(buffer.data()), 1);
                else EXPECT_EQ(ZipPassword(buffer.data(), c.capacity, "Enter password: ", "a.txt"), 0);
            },
            [&] {
                HWND dlg = gui::WaitForWindow(comment ? kCommentCaption : kPasswordCaption);
                ASSERT_TRUE(dlg);
                EXPECT_EQ(gui::Text(GetDlgItem(dlg, IDC_PROMPT)),
                          comment ? L"enter new zip file comment: " : L"Enter password: ");
                gui::ExpectCaptionsFit(dlg);
                HWND entry = GetDlgItem(dlg, comment ? IDC_COMMENT_TEXT : IDC_PASSWORD);
                SendMessageW(entry, EM_SETSEL, 0, 0);
                for (const wchar_t* key = c.typed; *key; ++key) SendMessageW(entry, WM_CHAR, *key, 1);
                gui::Click(dlg, c.button);
                EXPECT_TRUE(gui::WaitForWindowGone(dlg));
            });
        EXPECT_STREQ(buffer.data(), c.expected.c_str());
        EXPECT_EQ(buffer[capacity], '\x7f');
    }
}

}  // namespace
