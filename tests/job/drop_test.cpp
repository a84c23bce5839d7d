// Drops on the real main window, archived by the real engine.
#include <cstdint>
#include <set>

#include "base/codepage932.h"
#include "expected_archive.h"
#include "job_test_support.h"
#include "process_counts.h"

namespace {

using namespace job_test;

// Files, a folder and names code page 932 cannot write (their look-alike left out), dropped four times with the
// comment prompt answered otherwise; the log shows each such character as its code point, never as "?". Three
// readers then read the archive (check_zip.py).
TEST(DropArchive, FilesAndFolderMakeAnArchiveWhileTheMainWindowWaits) {
    TempFolder folder;
    const fs::path src = folder.path / L"src";
    const ExpectedArchive expected{
        {"a-b[1].txt", Expected::File("alpha\r\n")}, {"docs/", Expected::Dir()},
        {"docs/データ.txt", Expected::File(std::string(5000, 'd'))}, {"docs/sub/", Expected::Dir()},
        {"docs/sub/c.txt", Expected::File("gamma")}, {"2024年4月〜6月.txt", Expected::File("wave dash")},
        {"写真😀/", Expected::Dir()}, {"写真😀/한.txt", Expected::File("hangul")}};
    for (const auto& [name, entry] : expected)
        if (!entry.isDir) WriteFile(src / fs::path(reinterpret_cast<const char8_t*>(name.c_str())), entry.content);
    WriteFile(src / L"2024年4月\uFF5E6月.txt", "fullwidth tilde");  // the look-alike, not dropped
    const fs::path archive = fs::path(TIRVO_JOB_READER_CHECK_DIR).make_preferred() / L"files_and_folder.zip";
    fs::create_directories(archive.parent_path());
    fs::remove(archive);
    WriteExpectedJson(archive.string() + ".expected.json", expected);
    const std::string kComment = "\x92\x8d\x8e\xdf";  // "注釈"
    const std::string kForeign = "\x81\x20\xfd\xa0\x80 \x95";  // no code page 932 text (from another tool)
    const struct {
        const char* before;    // the archive's comment set before the drop; nullptr: as it is
        const wchar_t* typed;  // replaces the entry; nullptr: left as shown
        int button;
        std::string comment;   // afterwards
    } answers[] = {
        {nullptr, L"注釈", IDOK, kComment},    // a new archive has no comment
        {nullptr, nullptr, IDOK, kComment},    // OK without editing
        {nullptr, nullptr, IDCANCEL, ""},      // Cancel removes the comment
        {kForeign.c_str(), nullptr, IDOK, kForeign},  // kept byte for byte
    };
    RunMain(archive.wstring(), {{L"bComment", 1}}, [&](HWND main, const std::wstring&) {
        std::vector<HWND> windows;  // finished ones stay open
        std::string comment;
        for (const auto& answer : answers) {
            std::string bytes = ReadFile(archive);
            if (answer.before) {
                comment = answer.before;
                bytes.resize(bytes.rfind("PK\x05\x06") + 20);
                std::ofstream(archive, std::ios::binary) << bytes + char(comment.size()) + '\0' + comment;
            }
            ASSERT_TRUE(gui::PostDrop(main, {src / L"a-b[1].txt", src / L"docs", src / L"2024年4月\u301C6月.txt",
                                             src / L"写真\U0001F600"}));
            HWND prompt = gui::WaitForWindow(kCommentCaption);
            ASSERT_TRUE(prompt);
            EXPECT_FALSE(IsWindowEnabled(main));  // the prompt holds the run in progress
            HWND progress = WaitForNewProgress(windows);
            EXPECT_TRUE(progress && !gui::IsEnabled(progress, IDOK));
            HWND entry = GetDlgItem(prompt, IDC_COMMENT_TEXT);
            EXPECT_EQ(gui::Text(entry), FromCodePage932(comment));
            EXPECT_EQ(gui::IsEnabled(prompt, IDOK), !comment.empty());
            if (answer.typed) gui::TypeText(entry, answer.typed);
            gui::Click(prompt, answer.button);
            ASSERT_TRUE(WaitFinished(progress));
            windows.push_back(progress);
            EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
            const std::wstring log = gui::Text(GetDlgItem(progress, IDC_LOG));
            for (const wchar_t* name : {L"docs/sub/c.txt", L"2024年4月<U+301C>6月.txt", L"写真<U+1F600>/<U+D55C>.txt"})
                EXPECT_NE(log.find(name), std::wstring::npos) << log;
            EXPECT_EQ(log.find(L'?'), std::wstring::npos) << log;
            bytes = ReadFile(archive);  // the comment follows the end record (no Zip64 here)
            comment = bytes.substr(bytes.rfind("PK\x05\x06") + 22);
            EXPECT_EQ(comment, answer.comment);
        }
        // Each window opens clear of those still open.
        std::set<std::pair<LONG, LONG>> corners;
        for (HWND progress : windows) {
            RECT rect{};
            GetWindowRect(progress, &rect);
            EXPECT_TRUE(IsWindowVisible(progress) && corners.emplace(rect.left, rect.top).second);
        }
    });
}

TEST(DropArchive, QuietEncryptedDropFromSeveralFoldersOpensNoProgressWindow) {
    TempFolder folder;
    WriteFile(folder.path / L"one" / L"a.txt", "a");
    WriteFile(folder.path / L"two" / L"deep" / L"b.txt", "b");
    const std::wstring archive = folder / L"quiet\u2212caf\u00E9.zip";  // a name code page 932 cannot write
    bool sawProgress = false;
    RunMain(archive, {{L"bQuiet", 1}, {L"bNoDirEntries", 1}, {L"bEncrypt", 1}}, [&](HWND main, const std::wstring&) {
        gui::PostDrop(main, {folder / L"one\\a.txt", folder / L"two\\deep\\b.txt"});
        for (int ask = 0; ask < 2; ++ask) {  // the password, then its confirmation
            HWND prompt = gui::WaitForWindow(kPasswordCaption);
            ASSERT_TRUE(prompt);
            HWND entry = GetDlgItem(prompt, IDC_PASSWORD);
            EXPECT_FALSE(gui::IsEnabled(prompt, IDOK));
            gui::PressKey(prompt, VK_RETURN);  // does nothing while OK is disabled
            PostMessageW(entry, WM_CHAR, L'p', 1);
            EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(entry) == L"p"; }));
            EXPECT_TRUE(IsWindowVisible(prompt) && gui::IsEnabled(prompt, IDOK));
            gui::PressKey(prompt, VK_RETURN);  // OK now
            ASSERT_TRUE(gui::WaitForWindowGone(prompt));
        }
        ASSERT_TRUE(gui::WaitUntil([&] {
            sawProgress = sawProgress || gui::WaitForWindow(kProgressCaption, {});
            return fs::exists(archive) && IsWindowEnabled(main);
        }));
    });
    EXPECT_FALSE(sawProgress);
}

// 200 drops, each loading and freeing the engine, its progress window run to the end and closed with OK: from the
// 20th on, kernel handles do not grow nor free thread-local slots fall (an engine keeping one a load fails every
// load once the 1,088 are gone), memory grows by 1 KiB a drop at most.
TEST(DropArchive, TwoHundredDropsWithProgressWindowsLeaveNothingBehind) {
    TempFolder folder;
    for (int i = 0; i < 5; ++i)
        WriteFile(folder.path / L"src" / (L"f" + std::to_wstring(i) + L".txt"), std::string(2000, 'a' + i));
    struct Counts { std::uint64_t privateBytes; unsigned handles, freeTls; };
    // The fewest handles over a few readings.
    auto take = [] {
        using namespace process_counts;
        Counts counts{PrivateBytes(), KernelHandles(), FreeTlsSlots()};
        for (int reading = 0; reading < 10; ++reading, Sleep(20))
            counts.handles = std::min(counts.handles, KernelHandles());
        return counts;
    };
    constexpr int kDrops = 200, kSettled = 20;
    Counts settled{}, last{};
    // A control under the pointer makes Wine keep two registry keys open, at whatever drop: the pointer waits aside.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    RunMain(folder / L"day.zip", {}, [&](HWND main, const std::wstring&) {
        for (int drop = 1; drop <= kDrops; ++drop) {
            ASSERT_TRUE(gui::PostDrop(main, {folder / L"src"}));
            HWND progress = WaitForNewProgress();
            ASSERT_TRUE(WaitFinished(progress));
            gui::PressKey(progress, VK_RETURN);
            ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(progress) && IsWindowEnabled(main); }));
            if (drop == kSettled) settled = take();
        }
        last = take();
    });
    const double growth = (static_cast<double>(last.privateBytes) - static_cast<double>(settled.privateBytes)) / 1024 /
                          (kDrops - kSettled);
    std::printf("From drop %d to %d: private bytes %+.2f KiB a drop; handles %u -> %u, "
                "free thread-local slots %u -> %u\n", kSettled, kDrops, growth, settled.handles, last.handles,
                settled.freeTls, last.freeTls);
    EXPECT_LE(growth, 1.0);
    EXPECT_LE(last.handles, settled.handles);
    EXPECT_GE(last.freeTls, settled.freeTls);
}

}  // namespace
