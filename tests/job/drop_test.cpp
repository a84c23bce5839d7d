// Drops on the real main window, archived by the real engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "gui_harness.h"
#include "job_test_support.h"
#include "resource.h"
#include "ui/progress_dlg.h"

#ifndef TIRVO_JOB_READER_CHECK_DIR
#error "TIRVO_JOB_READER_CHECK_DIR names the folder whose archives the readers check"
#endif

namespace {

using job_test::kCommentCaption;
using job_test::kPasswordCaption;
using job_test::kProgressCaption;
using job_test::Summarize;
using job_test::TempFolder;
using job_test::WindowsWithCaption;
using job_test::WriteFile;
namespace fs = std::filesystem;

// The settings a drop test starts from: an archive name, not topmost (so
// the test's windows do not fight over the z-order), and the given values.
void Prepare(const gui::TestProfile& profile, const std::wstring& archive,
             std::initializer_list<std::pair<const wchar_t*, DWORD>> values = {}) {
    profile.WriteString(L"stFileName", archive);
    profile.WriteDword(L"bTopMost", 0);
    for (const auto& [name, value] : values) profile.WriteDword(name, value);
}

HWND WaitForMain() { return gui::WaitForWindow(L"Tirvo"); }

// Waits for this run's progress window to reach Finished (OK enabled).
bool WaitFinished(HWND progress) {
    return gui::WaitUntil([&] { return gui::IsEnabled(progress, IDOK); });
}

// The newest progress window other than those in `known`.
HWND WaitForNewProgress(const std::vector<HWND>& known = {}) {
    HWND found = nullptr;
    gui::WaitUntil([&] {
        for (HWND hwnd : WindowsWithCaption(kProgressCaption))
            if (std::find(known.begin(), known.end(), hwnd) == known.end()) found = hwnd;
        return found != nullptr;
    });
    return found;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DropArchive, FilesAndFolderMakeAnArchiveWhileTheMainWindowWaits) {
    TempFolder folder;
    WriteFile(folder.Path() / L"src" / L"a-b[1].txt", "alpha\r\n");
    WriteFile(folder.Path() / L"src" / L"docs" / L"データ.txt", std::string(5000, 'd'));
    WriteFile(folder.Path() / L"src" / L"docs" / L"sub" / L"c.txt", "gamma");
    const fs::path checkDir = fs::path(TIRVO_JOB_READER_CHECK_DIR).make_preferred();
    fs::create_directories(checkDir);
    const fs::path archive = checkDir / L"files_and_folder.zip";
    fs::remove(archive);

    gui::TestProfile profile;
    Prepare(profile, archive.wstring(), {{L"bComment", 1}});
    gui::RunMainWindow(profile, [&] {
        HWND main = WaitForMain();
        ASSERT_TRUE(main);
        ASSERT_TRUE(gui::PostDrop(main, {folder / L"src\\a-b[1].txt", folder / L"src\\docs"}));
        // The comment prompt holds the run: the job is in progress now.
        HWND prompt = gui::WaitForWindow(kCommentCaption);
        ASSERT_TRUE(prompt);
        EXPECT_FALSE(IsWindowEnabled(main));
        HWND progress = gui::WaitForWindow(kProgressCaption);
        ASSERT_TRUE(progress);
        EXPECT_FALSE(gui::IsEnabled(progress, IDOK));
        gui::TypeText(gui::Item(prompt, IDC_COMMENT_TEXT), L"注釈");
        gui::Click(prompt, IDOK);
        ASSERT_TRUE(WaitFinished(progress));
        EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
        const std::wstring log = gui::Text(gui::Item(progress, IDC_LOG));
        EXPECT_NE(log.find(L"a-b[1].txt"), std::wstring::npos) << gui::Utf8(log);
        EXPECT_NE(log.find(L"docs/データ.txt"), std::wstring::npos) << gui::Utf8(log);
        EXPECT_NE(log.find(L"docs/sub/c.txt"), std::wstring::npos) << gui::Utf8(log);
        // Finished: Escape is Cancel (the window stays), Enter is OK.
        gui::PressKey(progress, VK_ESCAPE);
        gui::PressKey(progress, VK_RETURN);
        EXPECT_TRUE(gui::WaitForWindowGone(progress));
        gui::PressKey(main, VK_ESCAPE);
    });
    const job_test::ArchiveSummary summary = Summarize(archive);
    ASSERT_TRUE(summary.valid);
    EXPECT_EQ(summary.comment, "\x92\x8d\x8e\xdf");
    for (const char* name : {"a-b[1].txt", "docs/\x83\x66\x81\x5b\x83\x5e.txt", "docs/sub/c.txt"})
        EXPECT_NE(std::find(summary.names.begin(), summary.names.end(), name), summary.names.end())
            << name;
}

TEST(DropArchive, ItemsFromSeveralFoldersKeepTheirSubfolders) {
    TempFolder folder;
    WriteFile(folder.Path() / L"one" / L"a.txt", "a");
    WriteFile(folder.Path() / L"two" / L"deep" / L"b.txt", "b");
    WriteFile(folder.Path() / L"a.txt", "decoy in the root");
    const std::wstring archive = folder / L"out.zip";
    gui::TestProfile profile;
    Prepare(profile, archive, {{L"bQuiet", 1}, {L"bNoDirEntries", 1}});
    gui::RunMainWindow(profile, [&] {
        HWND main = WaitForMain();
        ASSERT_TRUE(main);
        gui::PostDrop(main, {folder / L"one\\a.txt", folder / L"two\\deep\\b.txt"});
        ASSERT_TRUE(gui::WaitUntil([&] { return fs::exists(archive); }));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(Sorted(Summarize(archive).names),
              (std::vector<std::string>{"one/a.txt", "two/deep/b.txt"}));
}

TEST(DropArchive, QuietRunOpensNoWindow) {
    TempFolder folder;
    WriteFile(folder.Path() / L"a.txt", "a");
    const std::wstring archive = folder / L"quiet.zip";
    gui::TestProfile profile;
    Prepare(profile, archive, {{L"bQuiet", 1}});
    bool sawProgress = false;
    gui::RunMainWindow(profile, [&] {
        HWND main = WaitForMain();
        ASSERT_TRUE(main);
        gui::PostDrop(main, {folder / L"a.txt"});
        ASSERT_TRUE(gui::WaitUntil([&] {
            sawProgress = sawProgress || !WindowsWithCaption(kProgressCaption).empty();
            return fs::exists(archive) && IsWindowEnabled(main);
        }));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_FALSE(sawProgress);
    EXPECT_EQ(g_bShowProgress, 0);
    EXPECT_EQ(Summarize(archive).names, std::vector<std::string>{"a.txt"});
}

TEST(DropArchive, CancelDuringALongRunLeavesTheOldArchive) {
    TempFolder folder;
    const int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i)
        WriteFile(folder.Path() / L"many" / (L"f" + std::to_wstring(i) + L".txt"),
                  "content " + std::to_string(i));
    WriteFile(folder.Path() / L"first.txt", "first");
    const std::wstring archive = folder / L"old.zip";
    gui::TestProfile profile;
    Prepare(profile, archive);
    std::string before;
    double cancelSeconds = 0;
    gui::RunMainWindow(profile, [&] {
        HWND main = WaitForMain();
        ASSERT_TRUE(main);
        gui::PostDrop(main, {folder / L"first.txt"});
        HWND first = WaitForNewProgress();
        ASSERT_TRUE(first && WaitFinished(first));
        before = job_test::ReadFile(archive);
        ASSERT_FALSE(before.empty());

        gui::PostDrop(main, {folder / L"many"});
        HWND progress = WaitForNewProgress({first});
        ASSERT_TRUE(progress);
        HWND log = gui::Item(progress, IDC_LOG);
        ASSERT_TRUE(gui::WaitUntil([&] { return GetWindowTextLengthW(log) > 2000; }));
        const auto clicked = std::chrono::steady_clock::now();
        gui::Click(progress, IDCANCEL);
        ASSERT_TRUE(WaitFinished(progress));
        cancelSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count();
        EXPECT_TRUE(IsWindowVisible(progress));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_EQ(job_test::ReadFile(archive), before);
    std::printf("Cancel took effect after %.3f s\n", cancelSeconds);
}

TEST(DropArchive, CommentPromptShowsTheCommentAndCancelKeepsIt) {
    TempFolder folder;
    WriteFile(folder.Path() / L"a.txt", "a");
    const std::wstring archive = folder / L"commented.zip";
    gui::TestProfile profile;
    Prepare(profile, archive, {{L"bComment", 1}});
    gui::RunMainWindow(profile, [&] {
        HWND main = WaitForMain();
        ASSERT_TRUE(main);
        const struct {
            std::function<void(HWND)> answer;
        } runs[] = {
            {[](HWND prompt) {
                 EXPECT_FALSE(gui::IsEnabled(prompt, IDOK));  // a new archive has no comment
                 gui::TypeText(gui::Item(prompt, IDC_COMMENT_TEXT), L"first");
                 gui::Click(prompt, IDOK);
             }},
            {[](HWND prompt) {
                 EXPECT_EQ(gui::Text(gui::Item(prompt, IDC_COMMENT_TEXT)), L"first");
                 EXPECT_TRUE(gui::IsEnabled(prompt, IDOK));
                 gui::Click(prompt, IDOK);
             }},
            {[](HWND prompt) {
                 EXPECT_EQ(gui::Text(gui::Item(prompt, IDC_COMMENT_TEXT)), L"first");
                 gui::Click(prompt, IDCANCEL);
             }},
        };
        std::vector<HWND> windows;
        for (const auto& run : runs) {
            gui::PostDrop(main, {folder / L"a.txt"});
            HWND prompt = gui::WaitForWindow(kCommentCaption);
            ASSERT_TRUE(prompt);
            run.answer(prompt);
            HWND progress = WaitForNewProgress(windows);
            ASSERT_TRUE(progress && WaitFinished(progress));
            windows.push_back(progress);
            EXPECT_EQ(Summarize(archive).comment, "first");
        }
        EXPECT_EQ(WindowsWithCaption(kProgressCaption).size(), 3u);
        gui::PressKey(main, VK_ESCAPE);
    });
}

TEST(DropArchive, PasswordPromptEncryptsTheEntries) {
    TempFolder folder;
    WriteFile(folder.Path() / L"secret.txt", "secret data");
    const std::wstring archive = folder / L"locked.zip";
    gui::TestProfile profile;
    Prepare(profile, archive, {{L"bEncrypt", 1}});
    gui::RunMainWindow(profile, [&] {
        HWND main = WaitForMain();
        ASSERT_TRUE(main);
        gui::PostDrop(main, {folder / L"secret.txt"});
        for (int ask = 0; ask < 2; ++ask) {  // the password, then its confirmation
            HWND prompt = gui::WaitForWindow(kPasswordCaption);
            ASSERT_TRUE(prompt);
            EXPECT_FALSE(gui::IsEnabled(prompt, IDOK));
            gui::TypeText(gui::Item(prompt, IDC_PASSWORD), L"pw");
            EXPECT_TRUE(gui::IsEnabled(prompt, IDOK));
            gui::Click(prompt, IDOK);
            ASSERT_TRUE(gui::WaitForWindowGone(prompt));
        }
        HWND progress = WaitForNewProgress();
        ASSERT_TRUE(progress && WaitFinished(progress));
        gui::PressKey(main, VK_ESCAPE);
    });
    const job_test::ArchiveSummary summary = Summarize(archive);
    ASSERT_EQ(summary.names, std::vector<std::string>{"secret.txt"});
    EXPECT_TRUE(summary.encrypted[0]);
}

TEST(DropArchive, PathOutsideCodePage932IsNamedAndNothingArchived) {
    TempFolder folder;
    WriteFile(folder.Path() / L"ok.txt", "ok");
    WriteFile(folder.Path() / L"caf\u00e9.txt", "accent");
    const std::wstring archive = folder / L"none.zip";
    const std::wstring refused = folder / L"caf\u00e9.txt";
    gui::TestProfile profile;
    Prepare(profile, archive);
    gui::RunMainWindow(profile, [&] {
        HWND main = WaitForMain();
        ASSERT_TRUE(main);
        gui::PostDrop(main, {folder / L"ok.txt", refused});
        HWND box = gui::WaitForWindow(profile.AppName());
        ASSERT_TRUE(box);
        EXPECT_NE(job_test::MessageText(box).find(refused), std::wstring::npos);
        EXPECT_TRUE(WindowsWithCaption(kProgressCaption).empty());
        gui::PressKey(box, VK_RETURN);
        ASSERT_TRUE(gui::WaitForWindowGone(box));
        EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
        gui::PressKey(main, VK_ESCAPE);
    });
    EXPECT_FALSE(fs::exists(archive));
}

// Not a check but a measurement for the record: the same drop of 10,000
// small files with the progress window and quiet. Run it on its own:
//   job_gui_tests --gtest_also_run_disabled_tests --gtest_filter=*Measure*
TEST(DropArchive, DISABLED_MeasureProgressWindowCost) {
    TempFolder folder;
    const int kFiles = 10000;
    for (int i = 0; i < kFiles; ++i)
        WriteFile(folder.Path() / L"many" / (L"file" + std::to_wstring(i) + L".txt"),
                  "small file " + std::to_string(i) + "\n");
    double seconds[2] = {};
    for (int quiet = 0; quiet < 2; ++quiet) {
        for (int round = 0; round < 2; ++round) {  // the first round warms the file cache
            const std::wstring archive = folder / (L"m" + std::to_wstring(quiet) + L".zip");
            fs::remove(archive);
            gui::TestProfile profile;
            Prepare(profile, archive, {{L"bQuiet", static_cast<DWORD>(quiet)}});
            gui::RunMainWindow(profile, [&] {
                HWND main = WaitForMain();
                ASSERT_TRUE(main);
                const auto start = std::chrono::steady_clock::now();
                gui::PostDrop(main, {folder / L"many"});
                ASSERT_TRUE(gui::WaitUntil(
                    [&] {
                        return fs::exists(archive) && IsWindowEnabled(main) &&
                               (quiet || !WindowsWithCaption(kProgressCaption).empty());
                    },
                    std::chrono::minutes(10)));
                seconds[quiet] =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                gui::PressKey(main, VK_ESCAPE);
            });
        }
    }
    std::printf("10,000 files: progress window %.2f s, quiet %.2f s, ratio %.2f\n", seconds[0],
                seconds[1], seconds[0] / seconds[1]);
}

}  // namespace
