// ZIP32.DLL under Wine, loaded by name from beside the test as the program
// loads it: what only Windows has. Each archive is left with what it must
// hold for engine_wine_readers (the three readers, on the Linux side); the
// trees lie beside them, and ctest removes both before the next run.
#include "engine_client.h"
#include "expected_archive.h"
#include "process_counts.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kOut = ENGINE_WINE_OUT;

std::string Utf8(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return {utf8.begin(), utf8.end()};
}

// \\?\ form so that every helper works beyond 260 characters.
std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

void MakeDir(const std::wstring& path) { CreateDirectoryW(Long(path).c_str(), nullptr); }

void WriteW(const std::wstring& path, const std::string& content, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    ASSERT_TRUE(std::ofstream(fs::path(Long(path)), std::ios::binary) << content);
    SetFileAttributesW(Long(path).c_str(), attributes);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder of the running test's own beside the archives.
std::wstring NewTree() {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path tree = fs::path(kOut + "/" + name + "-" + std::to_string(std::random_device()())).make_preferred();
    fs::create_directories(tree);
    return tree.wstring();
}

Request MakeRequest(const std::wstring& root, const std::string& archive, std::vector<std::string> names) {
    Request r;
    r.root = Utf8(root) + "\\";
    r.archive = archive;
    r.names = std::move(names);
    return r;
}

class WineEngineTest : public ::testing::Test {
protected:
    EngineLibrary engine{"ZIP32.DLL"};
    const std::wstring tree = NewTree();

    void SetUp() override { ASSERT_TRUE(engine.Complete()); }

    // One request from root into the output folder, the archive left there with what it must hold.
    Outcome Archive(const std::wstring& root, std::vector<std::string> names, const std::string& archiveName,
                    const ExpectedArchive& expected, void (*set)(ZipOptions&) = nullptr) {
        Request r = MakeRequest(root, kOut + "/" + archiveName, std::move(names));
        if (set) set(r.options);
        WriteExpectedJson(r.archive + ".expected.json", expected);
        return RunRequest(engine, r, Answers());
    }
};

// Under a root longer than 260 characters: hidden and system files and
// folders, taken only when asked; code page 932 names whose trail byte is
// 0x5C ('\': ソ is 83 5C, 表 is 95 5C); a name outside code page 932. A
// hidden, system archive stays so when replaced.
TEST_F(WineEngineTest, HiddenSystemAndDbcsNamesBeyond260Characters) {
    std::wstring root = tree;
    for (int i = 0; i < 8; ++i) MakeDir(root += L"\\folder-with-a-rather-long-name-" + std::to_wstring(i));
    ASSERT_GT(root.size(), 260u);
    for (const wchar_t* dir : {L"\\t", L"\\t\\hdir", L"\\表示"}) MakeDir(root + dir);
    SetFileAttributesW(Long(root + L"\\t\\hdir").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    WriteW(root + L"\\t\\plain.txt", "plain");
    WriteW(root + L"\\t\\hidden.txt", "hidden", FILE_ATTRIBUTE_HIDDEN);
    WriteW(root + L"\\t\\system.txt", "system", FILE_ATTRIBUTE_SYSTEM);
    WriteW(root + L"\\t\\hdir\\inner.txt", "inner");
    WriteW(root + L"\\表示\\ソース.txt", "dbcs");
    WriteW(root + L"\\한국어.txt", "korean");
    const std::vector<std::string> names{"t", "表示", "*.txt"};
    ExpectedArchive want{{"t/", Expected::Dir()},    {"t/plain.txt", Expected::File("plain")},
                         {"表示/", Expected::Dir()}, {"表示/ソース.txt", Expected::File("dbcs")},
                         {"한국어.txt", Expected::File("korean")}};
    Outcome out = Archive(root, names, "windows-names.zip", want);
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("表示/ソース.txt"), std::string::npos) << out.log;

    want.insert({{"t/hidden.txt", Expected::File("hidden")}, {"t/system.txt", Expected::File("system")},
                 {"t/hdir/", Expected::Dir()}, {"t/hdir/inner.txt", Expected::File("inner")}});
    auto withSystem = [](ZipOptions& o) { o.systemFiles = 1; };
    fs::remove(kOut + "/windows-system.zip");
    ASSERT_EQ(Archive(root, names, "windows-system.zip", want, withSystem).status, ZIP_OK);
    const std::wstring archive = fs::path(kOut + "/windows-system.zip").wstring();
    const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(archive.c_str(), hiddenSystem));
    WriteW(root + L"\\t\\later.txt", "later");
    want["t/later.txt"] = Expected::File("later");
    out = Archive(root, names, "windows-system.zip", want, withSystem);
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(GetFileAttributesW(archive.c_str()) & hiddenSystem, hiddenSystem);
}

// A volume without 8.3 names (NTFS may have them turned off) gives the long
// names back, and the archive holds those.
TEST_F(WineEngineTest, ShortNamesAsTheFileSystemGivesThem) {
    fs::remove(kOut + "/short-names.zip");
    const std::wstring file = tree + L"\\Long Folder Name\\Long File Name.text";
    MakeDir(tree + L"\\Long Folder Name");
    WriteW(file, "short");
    wchar_t shortPath[MAX_PATH + 1];
    ASSERT_NE(GetShortPathNameW(file.c_str(), shortPath, MAX_PATH + 1), 0u);
    const fs::path path = shortPath;
    const std::string folder = Utf8(path.parent_path().filename()) + "/";
    Outcome out = Archive(tree, {"Long Folder Name"}, "short-names.zip",
                          {{folder, Expected::Dir()}, {folder + Utf8(path.filename()), Expected::File("short")}},
                          [](ZipOptions& o) { o.shortNames = 1; });
    EXPECT_EQ(out.status, ZIP_OK) << out.log;
}

// Names differing in case only, full-width and Cyrillic letters too, are one
// name: a request finds the file in any case, and it replaces the entry rather
// than join it as a second one that extracting would lay over the first.
TEST_F(WineEngineTest, NameDifferingOnlyInCaseReplacesTheEntry) {
    const std::wstring names[][2] = {
        {L"資料Ａ.txt", L"資料ａ.txt"}, {L"ДАННЫЕ.txt", L"данные.txt"}, {L"ReadMe.TXT", L"readme.txt"}};
    MakeDir(tree + L"\\t");
    std::string request, archive;
    int n = 0;
    for (const auto& [old, now] : names) {
        request = "t\\" + Utf8(old), archive = "case-" + std::to_string(n++) + ".zip";
        fs::remove(kOut + "/" + archive);
        const std::string entry = "t/" + Utf8(now);
        SCOPED_TRACE(entry);
        WriteW(tree + L"\\t\\" + old, "old");
        ASSERT_EQ(Archive(tree, {request}, archive, {{"t/" + Utf8(old), Expected::File("old")}}).status, ZIP_OK);
        DeleteFileW((tree + L"\\t\\" + old).c_str());
        WriteW(tree + L"\\t\\" + now, "new");
        Outcome out = Archive(tree, {request}, archive, {{entry, Expected::File("new")}});
        EXPECT_EQ(out.status, ZIP_OK) << out.log;
        EXPECT_NE(out.log.find("置換: " + entry), std::string::npos) << out.log;
    }
    // Wine's disk is case-sensitive underneath: a second file beside
    // readme.txt, written from the Unix side (the output folder is Z: and its
    // Unix path), is stored too, and each replaces its own entry the next time.
    const std::string unixFile = Utf8(fs::path(tree).generic_wstring()).substr(2) + "/t/README.TXT";
    if (std::system(("start /wait /unix /bin/sh -c \"printf twin > '" + unixFile + "'\"").c_str()) != 0)
        GTEST_SKIP() << "not under Wine";
    for (int run = 0; run < 2; ++run) {
        Outcome out = Archive(tree, {request}, archive,
                              {{"t/README.TXT", Expected::File("twin")}, {"t/readme.txt", Expected::File("new")}});
        EXPECT_EQ(out.status, ZIP_OK) << out.log;
    }
}

// Held for a moment (a virus scanner), an input or the archive is waited
// for. Held longer (an office program), an input is named, kept in move mode
// and the rest archived; the archive is left as it was. A log another
// program writes, sharing reads and writes, is archived and kept.
TEST_F(WineEngineTest, FilesHeldByAnotherProgram) {
    const struct {
        bool holdArchive;  // else the input locked.txt
        DWORD holdMs;
        int status;
        std::vector<const char*> logged;  // each sentence of a long line, which is broken after each
    } cases[] = {
        {false, 500, ZIP_OK, {"追加: t/locked.txt"}},
        {false, 10000, ZIP_PARTIAL,
         {"t/locked.txt は他のプログラムが開いているため読み込めません", "書庫には入れませんでした(元のファイルは残しています)"}},
        {true, 500, ZIP_OK, {"追加: t/locked.txt"}},
        {true, 10000, ZIP_READ_FAILED, {"held-3.zip を読み込めません (他のプロセスが使用中です)"}},
    };
    for (const auto& c : cases) {
        const std::string archive = "held-" + std::to_string(&c - cases) + ".zip", path = kOut + "/" + archive;
        const std::wstring root = tree + L"\\" + std::to_wstring(&c - cases), t = root + L"\\t\\";
        SCOPED_TRACE(archive);
        fs::remove(path);
        fs::create_directories(t);
        WriteW(t + L"a.txt", "free");
        WriteW(t + L"locked.txt", "locked");
        const ExpectedArchive old{{"t/a.txt", Expected::File("free")}};
        ExpectedArchive want{{"t/", Expected::Dir()}, {"t/a.txt", Expected::File("free")},
                             {"t/locked.txt", Expected::File("locked")}};
        if (c.holdArchive) {
            ASSERT_EQ(Archive(root, {"t\\a.txt"}, archive, old).status, ZIP_OK);
        }
        const std::string before = ReadAll(path);
        HANDLE log = INVALID_HANDLE_VALUE;
        if (c.status == ZIP_PARTIAL) {
            WriteW(t + L"log.txt", "log");
            want["t/log.txt"] = Expected::File("log");
            want.erase("t/locked.txt");
            log = CreateFileW((t + L"log.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(log, INVALID_HANDLE_VALUE);
        }
        // The other program's handle, without sharing, closed after its time
        // or when the run is over.
        HANDLE held = CreateFileW(c.holdArchive ? fs::path(path).c_str() : (t + L"locked.txt").c_str(),
                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        HANDLE runOver = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread holder([&] { WaitForSingleObject(runOver, c.holdMs), CloseHandle(held); });
        Outcome out = Archive(root, {"t"}, archive, c.status == ZIP_READ_FAILED ? old : want,
                              [](ZipOptions& o) { o.move = 1; });
        SetEvent(runOver);
        holder.join();
        CloseHandle(runOver);
        if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
        EXPECT_EQ(out.status, c.status) << out.log;
        for (const char* sentence : c.logged) EXPECT_NE(out.log.find(sentence), std::string::npos) << out.log;
        EXPECT_EQ(fs::exists(t + L"locked.txt"), c.status != ZIP_OK);
        EXPECT_EQ(fs::exists(t + L"a.txt"), c.status == ZIP_READ_FAILED);
        EXPECT_EQ(fs::exists(t + L"log.txt"), c.status == ZIP_PARTIAL);
        EXPECT_EQ(ReadAll(path) == before, c.status == ZIP_READ_FAILED);
    }
}

// A library without the UTF-8 mark: code page 932 refuses a marked string,
// and read leniently it begins with a character no pattern treats as a
// wildcard.
TEST(MarkedStrings, CodePage932RefusesThemOrReadsNoWildcard) {
    const std::string marked = kZipUtf8Mark + std::string("f\xE3\x80\x9C.txt");  // f〜.txt
    const int length = static_cast<int>(marked.size());
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, marked.data(), length, nullptr, 0), 0);
    wchar_t lenient[64] = {};
    ASSERT_GT(MultiByteToWideChar(932, 0, marked.data(), length, lenient, 64), 0);
    EXPECT_EQ(std::wstring(L"?*[").find(lenient[0]), std::wstring::npos) << static_cast<int>(lenient[0]);
}

// The program loads and frees the engine on every drop. 500 times: load,
// archive a folder, update it, fail on a file that is no archive, free. From
// the 50th time on private bytes may grow by 1 KiB a time at most, kernel
// handles and free thread-local slots not at all (a library that keeps a
// slot per load ends every load once the process's 1,088 are gone).
TEST(EngineLifetime, LoadRunAndFreeFiveHundredTimesLeavesNothingBehind) {
    const std::wstring tree = NewTree();
    MakeDir(tree + L"\\t");
    for (int i = 0; i < 8; ++i) WriteW(tree + L"\\t\\f" + std::to_wstring(i) + L".txt", std::string(3000, 'a' + i));
    WriteW(tree + L"\\not-a-zip.zip", "plain text");
    const Request folder = MakeRequest(tree, Utf8(tree) + "\\a.zip", {"t"});
    Request update = folder, failing = folder;
    update.options.update = 1;
    failing.archive = Utf8(tree) + "\\not-a-zip.zip";

    constexpr int kRuns = 500, kSettled = 50;
    std::uint64_t privateBytes = 0;
    unsigned handles = 0, tlsSlots = 0;
    for (int run = 1; run <= kRuns; ++run) {
        {
            EngineLibrary engine("ZIP32.DLL");
            ASSERT_TRUE(engine.Complete());
            ASSERT_EQ(RunRequest(engine, folder, Answers()).status, ZIP_OK);
            WriteW(tree + L"\\t\\changed.txt", "run " + std::to_string(run));
            ASSERT_EQ(RunRequest(engine, update, Answers()).status, ZIP_OK);
            ASSERT_EQ(RunRequest(engine, failing, Answers()).status, ZIP_NOT_A_ZIP);
        }
        if (run == kSettled) {
            privateBytes = process_counts::PrivateBytes();
            handles = process_counts::KernelHandles();
            tlsSlots = process_counts::FreeTlsSlots();
        }
    }
    const double growth = (static_cast<double>(process_counts::PrivateBytes()) - static_cast<double>(privateBytes)) /
                          1024 / (kRuns - kSettled);
    std::printf("Private bytes from run %d to %d: %+.2f KiB a run\n", kSettled, kRuns, growth);
    EXPECT_LE(growth, 1.0);
    EXPECT_EQ(process_counts::KernelHandles(), handles);
    EXPECT_EQ(process_counts::FreeTlsSlots(), tlsSlots);
}

}  // namespace
