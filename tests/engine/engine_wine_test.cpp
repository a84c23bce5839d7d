// ZIP32.DLL under Wine, loaded by name from beside the test as the program
// loads it: what only Windows has (hidden and system attributes, short
// names, files locked by another handle, paths over 260 characters, code
// page 932 names with 0x5C trail bytes). Each archive is left with its
// expected content for engine_wine_readers, which checks it with the three
// readers on the Linux side.
#include "engine_client.h"
#include "expected_archive.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// \\?\ form so that every helper works beyond 260 characters.
std::wstring Long(const std::wstring& path) { return path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path; }

void MakeDir(const std::wstring& path) { CreateDirectoryW(Long(path).c_str(), nullptr); }

void WriteW(const std::wstring& path, const std::string& content) {
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
}

bool ExistsW(const std::wstring& path) { return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(Long(dir + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = dir + L"\\" + name;
            SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileW(Long(path).c_str());
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryW(Long(dir).c_str());
}

class WineEngineTest : public ::testing::Test {
protected:
    EngineLibrary engine{"ZIP32.DLL"};
    std::wstring tree;

    void SetUp() override {
        ASSERT_TRUE(engine.Complete());
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        std::random_device random;
        tree = std::wstring(temp) + L"tirvo-wine-" + std::to_wstring(random());
        MakeDir(tree);
        CreateDirectoryW(Wide(ENGINE_WINE_OUT).c_str(), nullptr);
    }
    void TearDown() override { RemoveTree(tree); }

    Request NewRequest(const std::wstring& root, std::vector<std::string> names, const std::string& archiveName) {
        Request r;
        r.root = Utf8(root) + "\\";
        r.archive = Out(archiveName);
        r.names = std::move(names);
        return r;
    }
    static std::string Out(const std::string& archiveName) { return std::string(ENGINE_WINE_OUT) + "/" + archiveName; }
    void Expect(const std::string& archiveName, const ExpectedArchive& expected) {
        WriteExpectedJson(Out(archiveName) + ".expected.json", expected);
    }
};

TEST_F(WineEngineTest, HiddenAndSystemFilesOnlyWhenAsked) {
    MakeDir(tree + L"\\t");
    MakeDir(tree + L"\\t\\hdir");
    WriteW(tree + L"\\t\\plain.txt", "plain");
    WriteW(tree + L"\\t\\hidden.txt", "hidden");
    WriteW(tree + L"\\t\\system.txt", "system");
    WriteW(tree + L"\\t\\hdir\\inner.txt", "inner");
    SetFileAttributesW((tree + L"\\t\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((tree + L"\\t\\system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((tree + L"\\t\\hdir").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);

    Outcome plain = RunRequest(engine, NewRequest(tree, {"t"}, "hidden-default.zip"), Answers());
    ASSERT_EQ(plain.status, ZIP_OK) << plain.log;
    Expect("hidden-default.zip", {{"t/", Expected::Dir()}, {"t/plain.txt", Expected::File("plain")}});

    Request all = NewRequest(tree, {"t"}, "hidden-system.zip");
    all.options.systemFiles = 1;
    Outcome out = RunRequest(engine, all, Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    Expect("hidden-system.zip", {{"t/", Expected::Dir()},
                                 {"t/plain.txt", Expected::File("plain")},
                                 {"t/hidden.txt", Expected::File("hidden")},
                                 {"t/system.txt", Expected::File("system")},
                                 {"t/hdir/", Expected::Dir()},
                                 {"t/hdir/inner.txt", Expected::File("inner")}});
}

TEST_F(WineEngineTest, ShortNamesAsTheFileSystemGivesThem) {
    std::wstring dir = tree + L"\\Long Folder Name";
    MakeDir(dir);
    WriteW(dir + L"\\Long File Name.text", "short");
    wchar_t shortPath[MAX_PATH + 1];
    ASSERT_NE(GetShortPathNameW((dir + L"\\Long File Name.text").c_str(), shortPath, MAX_PATH + 1), 0u);
    std::wstring shortened = shortPath;
    std::wstring file = shortened.substr(shortened.find_last_of(L'\\') + 1);
    std::wstring parent = shortened.substr(0, shortened.find_last_of(L'\\'));
    std::wstring folder = parent.substr(parent.find_last_of(L'\\') + 1);
    ASSERT_NE(file, L"Long File Name.text");  // the file system has 8.3 names here

    Request r = NewRequest(tree, {"Long Folder Name"}, "short-names.zip");
    r.options.shortNames = 1;
    Outcome out = RunRequest(engine, r, Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    Expect("short-names.zip", {{Utf8(folder) + "/", Expected::Dir()},
                               {Utf8(folder) + "/" + Utf8(file), Expected::File("short")}});
}

// Move mode: the locked file is reported with the reason, kept on disk, and
// the rest archived and deleted.
TEST_F(WineEngineTest, LockedFileIsReportedKeptAndTheRestArchived) {
    MakeDir(tree + L"\\t");
    WriteW(tree + L"\\t\\a.txt", "free");
    WriteW(tree + L"\\t\\locked.txt", "locked");
    HANDLE lock = CreateFileW((tree + L"\\t\\locked.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Request r = NewRequest(tree, {"t"}, "locked.zip");
    r.options.move = 1;
    Outcome out = RunRequest(engine, r, Answers());
    CloseHandle(lock);
    EXPECT_EQ(out.status, ZIP_PARTIAL) << out.log;
    EXPECT_NE(out.log.find("t/locked.txt を読み込めません (他のプロセスが使用中です)"), std::string::npos) << out.log;
    EXPECT_TRUE(ExistsW(tree + L"\\t\\locked.txt"));
    EXPECT_FALSE(ExistsW(tree + L"\\t\\a.txt"));
    Expect("locked.zip", {{"t/", Expected::Dir()}, {"t/a.txt", Expected::File("free")}});
}

// A tree, a root and an archive path all longer than 260 characters.
TEST_F(WineEngineTest, PathsLongerThan260Characters) {
    std::wstring deep = tree;
    std::string relative;
    for (int i = 0; i < 8; ++i) {
        std::wstring part = L"folder-with-a-rather-long-name-" + std::to_wstring(i);
        deep += L"\\" + part;
        relative += Utf8(part) + "/";
        MakeDir(deep);
    }
    WriteW(deep + L"\\file.txt", "deep");
    ASSERT_GT(deep.size(), 260u);

    Request r = NewRequest(tree, {"folder-with-a-rather-long-name-0"}, "");
    r.archive = Utf8(deep) + "\\long.zip";
    Outcome out = RunRequest(engine, r, Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    // The archive lies inside the tree it archives: it is not added to itself.
    ExpectedArchive want;
    for (std::size_t at = 0; (at = relative.find('/', at)) != std::string::npos; ++at)
        want[relative.substr(0, at + 1)] = Expected::Dir();
    want[relative + "file.txt"] = Expected::File("deep");
    ASSERT_TRUE(CopyFileW(Long(deep + L"\\long.zip").c_str(), Wide(Out("long-paths.zip")).c_str(), FALSE));
    Expect("long-paths.zip", want);

    // A root deeper than 260 characters as well.
    Request inner = NewRequest(deep, {"file.txt"}, "long-root.zip");
    Outcome second = RunRequest(engine, inner, Answers());
    ASSERT_EQ(second.status, ZIP_OK) << second.log;
    Expect("long-root.zip", {{"file.txt", Expected::File("deep")}});
}

// Code page 932 paths whose trail bytes are 0x5C ('\'): ソ is 83 5C, 表 is
// 95 5C. Nothing may split them. A name outside code page 932 goes in UTF-8.
TEST_F(WineEngineTest, Cp932NamesWithBackslashTrailBytes) {
    std::wstring root = tree + L"\\ソフト表";
    MakeDir(root);
    MakeDir(root + L"\\表示");
    WriteW(root + L"\\表示\\ソース.txt", "dbcs");
    WriteW(root + L"\\한국어.txt", "korean");
    Outcome out = RunRequest(engine, NewRequest(root, {"表示", "*.txt"}, "cp932.zip"), Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("表示/ソース.txt"), std::string::npos) << out.log;
    Expect("cp932.zip", {{"表示/", Expected::Dir()},
                         {"表示/ソース.txt", Expected::File("dbcs")},
                         {"한국어.txt", Expected::File("korean")}});
}

// The archive named in another letter case is still recognised as itself.
TEST_F(WineEngineTest, ArchiveIsNeverAddedToItself) {
    MakeDir(tree + L"\\t");
    WriteW(tree + L"\\t\\a.txt", "a");
    Request r = NewRequest(tree, {"t"}, "");
    r.archive = Utf8(tree) + "\\t\\Self.zip";
    ASSERT_EQ(RunRequest(engine, r, Answers()).status, ZIP_OK);
    r.archive = Utf8(tree) + "\\T\\SELF.ZIP";
    WriteW(tree + L"\\t\\b.txt", "b");
    Outcome out = RunRequest(engine, r, Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    ASSERT_TRUE(CopyFileW((tree + L"\\t\\Self.zip").c_str(), Wide(Out("self.zip")).c_str(), FALSE));
    Expect("self.zip", {{"t/", Expected::Dir()}, {"t/a.txt", Expected::File("a")}, {"t/b.txt", Expected::File("b")}});
}

// Update by file times as Windows gives them, and an encrypted entry beside
// the old plain one (the readers get the password from the .password file).
TEST_F(WineEngineTest, UpdateByTimeAndEncrypt) {
    MakeDir(tree + L"\\t");
    WriteW(tree + L"\\t\\old.txt", "old");
    WriteW(tree + L"\\t\\same.txt", "same");
    ASSERT_EQ(RunRequest(engine, NewRequest(tree, {"t"}, "update.zip"), Answers()).status, ZIP_OK);
    WriteW(tree + L"\\t\\old.txt", "newer");
    WriteW(tree + L"\\t\\added.txt", "added");
    // same.txt changes but keeps its time: update must leave its entry alone.
    HANDLE h = CreateFileW((tree + L"\\t\\same.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME written;
    GetFileTime(h, nullptr, nullptr, &written);
    DWORD n = 0;
    WriteFile(h, "SAME", 4, &n, nullptr);
    SetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    FILETIME later = written;
    ULARGE_INTEGER t{{later.dwLowDateTime, later.dwHighDateTime}};
    t.QuadPart += 10ull * 10000000;  // ten seconds
    later.dwLowDateTime = t.LowPart;
    later.dwHighDateTime = t.HighPart;
    h = CreateFileW((tree + L"\\t\\old.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, nullptr, nullptr, &later);
    CloseHandle(h);

    Request r = NewRequest(tree, {"t"}, "update.zip");
    r.options.update = 1;
    r.options.encrypt = 1;
    Answers answers;
    answers.passwords = {"wine", "wine"};
    Outcome out = RunRequest(engine, r, answers);
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(out.passwordCalls, 2);
    std::ofstream(Out("update.zip.password"), std::ios::binary) << "wine";
    Expect("update.zip", {{"t/", Expected::Dir()},
                          {"t/old.txt", Expected::File("newer")},
                          {"t/same.txt", Expected::File("same")},
                          {"t/added.txt", Expected::File("added")}});
}

// A directory link inside the tree, pointing out of it, is not followed.
TEST_F(WineEngineTest, DirectoryLinksAreNotFollowed) {
    MakeDir(tree + L"\\outside");
    WriteW(tree + L"\\outside\\secret.txt", "secret");
    MakeDir(tree + L"\\t");
    WriteW(tree + L"\\t\\a.txt", "a");
    // Wine 8 reports success without making the link: then this case skips.
    CreateSymbolicLinkW((tree + L"\\t\\link").c_str(), (tree + L"\\outside").c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    DWORD attributes = GetFileAttributesW((tree + L"\\t\\link").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "no directory links here";
    Outcome out = RunRequest(engine, NewRequest(tree, {"t"}, "links.zip"), Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("t/link はリンクなので辿りません"), std::string::npos) << out.log;
    Expect("links.zip", {{"t/", Expected::Dir()}, {"t/a.txt", Expected::File("a")}});
}

TEST_F(WineEngineTest, VolumeLabelEntry) {
    std::wstring drive = tree.substr(0, 3);
    SetVolumeLabelW(drive.c_str(), L"TIRVO");
    wchar_t label[MAX_PATH + 1] = {};
    GetVolumeInformationW(drive.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
    // Wine shows a label set just now only after its mount manager restarts,
    // so on a fresh prefix this case may have to skip.
    if (label[0] == L'\0') GTEST_SKIP() << "this drive has no volume label";
    WriteW(tree + L"\\a.txt", "a");
    Request r = NewRequest(tree, {"a.txt"}, "volume.zip");
    r.options.volumeLabel = 1;
    Outcome out = RunRequest(engine, r, Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("ボリュームラベル"), std::string::npos) << out.log;
    Expect("volume.zip", {{Utf8(label), Expected::File("")}, {"a.txt", Expected::File("a")}});
}

}  // namespace
