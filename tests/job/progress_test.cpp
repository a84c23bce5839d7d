// The progress window through the hooks the engine run uses: OpenProgress,
// the engine callbacks, FinishProgress.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui_harness.h"
#include "job/engine_callbacks.h"
#include "job_test_support.h"
#include "resource.h"
#include "ui/progress_dlg.h"

namespace {

using job_test::kProgressCaption;
using job_test::WindowsWithCaption;

std::uint32_t Print(const std::string& text) {
    return ZipPrint(text.c_str(), static_cast<std::uint32_t>(text.size()));
}

// Runs program code on this thread with no user acting meanwhile.
void RunAlone(const std::function<void()>& program) {
    std::atomic<bool> done{false};
    gui::RunWithUser(
        [&] {
            program();
            done = true;
        },
        [&] { gui::WaitUntil([&] { return done.load(); }, std::chrono::minutes(5)); });
}

// Closes finished progress windows left by a test with OK.
void CloseProgressWindows() {
    for (HWND hwnd : WindowsWithCaption(kProgressCaption)) {
        gui::Click(hwnd, IDOK);
        gui::WaitForWindowGone(hwnd);
    }
}

TEST(ProgressWindow, RunsAndFinishes) {
    HWND window = nullptr;
    RunAlone(
        [&] {
            OpenProgress(1);
            ASSERT_EQ(g_bShowProgress, 1);
            ASSERT_NE(g_pProgressDlg, nullptr);
            window = g_pProgressDlg->GetSafeHwnd();
            EXPECT_TRUE(IsWindowVisible(window));
            EXPECT_FALSE(gui::IsEnabled(window, IDOK));
            EXPECT_FALSE(gui::IsEnabled(window, IDC_LOG));
            EXPECT_FALSE(gui::IsChecked(window, IDC_AUTOCLOSE));
            EXPECT_EQ(Print("\x92\xc7\x89\xc1: a.txt\r\n"), 13u);  // "追加" in code page 932
            EXPECT_EQ(Print("bare\nline\r\n"), 11u);
            EXPECT_EQ(ZipService("a.txt", 1), 0);
            FinishProgress();
        });
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(gui::Text(gui::Item(window, IDC_LOG)), L"追加: a.txt\r\nbare\nline\r\n");
    EXPECT_TRUE(gui::IsEnabled(window, IDOK));
    EXPECT_TRUE(gui::IsEnabled(window, IDC_LOG));
    gui::Click(window, IDOK);
    EXPECT_FALSE(IsWindow(window));
}

TEST(ProgressWindow, CancelAsksTheEngineToStopAndNeverCloses) {
    HWND window = nullptr;
    int polls = 0;
    gui::RunWithUser(
        [&] {
            OpenProgress(1);
            window = g_pProgressDlg->GetSafeHwnd();
            // The engine's loop: a line and a poll per entry, until asked to stop.
            const auto end = std::chrono::steady_clock::now() + gui::kTimeout;
            while (ZipService("x", 0) == 0 && std::chrono::steady_clock::now() < end) {
                Print("entry\r\n");
                ++polls;
            }
            EXPECT_EQ(ZipService("x", 0), 1);
            FinishProgress();
        },
        [&] {
            HWND progress = gui::WaitForWindow(kProgressCaption);
            ASSERT_TRUE(progress);
            gui::Click(progress, IDCANCEL);
            gui::PressCloseBox(progress);
        });
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    gui::Click(window, IDCANCEL);  // after the run as well
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(window));
    gui::Click(window, IDOK);
    EXPECT_FALSE(IsWindow(window));
}

TEST(ProgressWindow, ClosesItselfWhenTheBoxIsTickedBeforeTheEnd) {
    gui::RunWithUser(
        [&] {
            OpenProgress(1);
            HWND window = g_pProgressDlg->GetSafeHwnd();
            const auto end = std::chrono::steady_clock::now() + gui::kTimeout;
            while (!gui::IsChecked(window, IDC_AUTOCLOSE) && std::chrono::steady_clock::now() < end)
                Print("entry\r\n");
            FinishProgress();
            EXPECT_FALSE(IsWindow(window));
            EXPECT_EQ(g_pProgressDlg, nullptr);
            EXPECT_EQ(g_bShowProgress, 1);
        },
        [&] {
            HWND progress = gui::WaitForWindow(kProgressCaption);
            ASSERT_TRUE(progress);
            gui::Click(progress, IDC_AUTOCLOSE);
        });
}

TEST(ProgressWindow, QuietRunLeavesAFinishedWindowAlone) {
    RunAlone(
        [&] {
            OpenProgress(1);
            Print("first run\r\n");
            FinishProgress();
            CProgressDlg* first = g_pProgressDlg;
            HWND firstWindow = first->GetSafeHwnd();

            OpenProgress(0);
            EXPECT_EQ(g_bShowProgress, 0);
            EXPECT_EQ(g_pProgressDlg, first);
            EXPECT_EQ(Print("quiet\r\n"), 7u);
            first->m_bAbort = 1;
            EXPECT_EQ(ZipService("x", 0), 0);
            FinishProgress();
            EXPECT_EQ(gui::Text(gui::Item(firstWindow, IDC_LOG)), L"first run\r\n");
            EXPECT_EQ(WindowsWithCaption(kProgressCaption).size(), 1u);
        });
    CloseProgressWindows();
}

TEST(ProgressWindow, SecondRunOpensANewWindowBesideTheFinishedOne) {
    RunAlone(
        [&] {
            OpenProgress(1);
            Print("first\r\n");
            FinishProgress();
            HWND first = g_pProgressDlg->GetSafeHwnd();
            gui::Click(first, IDC_AUTOCLOSE);  // ticked after its end: no effect

            OpenProgress(1);
            HWND second = g_pProgressDlg->GetSafeHwnd();
            EXPECT_NE(first, second);
            EXPECT_FALSE(gui::IsChecked(second, IDC_AUTOCLOSE));
            EXPECT_EQ(gui::Text(gui::Item(second, IDC_LOG)), L"");
            gui::Click(first, IDCANCEL);
            EXPECT_EQ(ZipService("x", 0), 0);
            Print("second\r\n");
            FinishProgress();
            EXPECT_EQ(gui::Text(gui::Item(first, IDC_LOG)), L"first\r\n");
            EXPECT_EQ(gui::Text(gui::Item(second, IDC_LOG)), L"second\r\n");
            EXPECT_TRUE(IsWindowVisible(first));
        });
    EXPECT_EQ(WindowsWithCaption(kProgressCaption).size(), 2u);
    CloseProgressWindows();
}

TEST(ProgressWindow, LogKeepsTheWholeOutputOfAHugeRun) {
    const int kLines = std::getenv("TIRVO_LOG_LINES") ? std::atoi(std::getenv("TIRVO_LOG_LINES")) : 100000;
    size_t expected = 0;
    double seconds = 0;
    HWND window = nullptr;
    RunAlone(
        [&] {
            OpenProgress(1);
            window = g_pProgressDlg->GetSafeHwnd();
            const auto start = std::chrono::steady_clock::now();
            char line[96];
            for (int i = 0; i < kLines; ++i) {
                const int length = std::snprintf(line, sizeof line,
                                                 "  \x92\xc7\x89\xc1: folder\\sub\\file%06d.txt (deflate 42%%)\r\n", i);
                expected += static_cast<size_t>(length) - 2;  // two double-byte characters
                ZipPrint(line, static_cast<std::uint32_t>(length));
            }
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            FinishProgress();
        });
    ASSERT_TRUE(IsWindow(window));
    const std::wstring log = gui::Text(gui::Item(window, IDC_LOG));
    EXPECT_EQ(log.size(), expected);
    EXPECT_NE(log.find(L"file099999.txt"), std::wstring::npos);
    std::printf("%d lines into the log: %.2f s\n", kLines, seconds);
    CloseProgressWindows();
}

}  // namespace
