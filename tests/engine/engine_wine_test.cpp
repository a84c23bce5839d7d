// ZIP32.DLL under Wine, loaded by name from beside the test as the program
// loads it: what only Windows has (hidden and system attributes, short
// names, files held by another program, paths over 260 characters, code
// page 932 names with 0x5C trail bytes, names that differ in case only).
// Each archive is left with its expected content for engine_wine_readers,
// which checks it with the three readers on the Linux side.
#include "engine_client.h"
#include "expected_archive.h"
#include "process_counts.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kOut = ENGINE_WINE_OUT;

std::string Utf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// \\?\ form so that every helper works beyond 260 characters.
std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

void MakeDir(const std::wstring& path) { CreateDirectoryW(Long(path).c_str(), nullptr); }

void WriteW(const std::wstring& path, const std::string& content, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
}

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(Long(dir + L"\\*").c_str(), &fd);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &fd)) {
        std::wstring name = fd.cFileName, path = dir + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
        else DeleteFileW(Long(path).c_str());
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    RemoveDirectoryW(Long(dir).c_str());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
    std::wstring tree;

    void SetUp() override {
        ASSERT_TRUE(engine.Complete());
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        tree = std::wstring(temp) + L"tirvo-wine-" + std::to_wstring(std::random_device()());
        MakeDir(tree);
        CreateDirectoryA(kOut.c_str(), nullptr);
    }
    void TearDown() override { RemoveTree(tree); }

    // Runs one request from root into the output folder and leaves the
    // archive there with what it must hold for the readers.
    Outcome Archive(const std::wstring& root, std::vector<std::string> names, const std::string& archiveName,
                    const ExpectedArchive& expected, void (*set)(ZipOptions&) = nullptr) {
        Request r = MakeRequest(root, kOut + "/" + archiveName, std::move(names));
        if (set) set(r.options);
        WriteExpectedJson(r.archive + ".expected.json", expected);
        return RunRequest(engine, r, Answers());
    }
};

// What the Windows file system adds, in one tree under a root longer than
// 260 characters: hidden and system files and folders, taken only when
// asked; code page 932 names whose trail byte is 0x5C ('\': ソ is 83 5C, 表
// is 95 5C), which nothing may split; a name outside code page 932. The
// second archive lies inside that tree, is not added to itself, and when
// replaced keeps its hidden and system attributes.
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
    const std::wstring inTree = root + L"\\long.zip";
    Request r = MakeRequest(root, Utf8(root) + "\\long.zip", names);
    r.options.systemFiles = 1;
    ASSERT_EQ(RunRequest(engine, r, Answers()).status, ZIP_OK);
    const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(Long(inTree).c_str(), hiddenSystem));
    WriteW(root + L"\\t\\later.txt", "later");
    want["t/later.txt"] = Expected::File("later");
    out = RunRequest(engine, r, Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(GetFileAttributesW(Long(inTree).c_str()) & hiddenSystem, hiddenSystem);
    const std::string copy = kOut + "/windows-system-long.zip";
    ASSERT_TRUE(CopyFileW(Long(inTree).c_str(), Wide(copy).c_str(), FALSE));
    WriteExpectedJson(copy + ".expected.json", want);
}

// A volume without 8.3 names (NTFS may have them turned off) gives the long
// names back, and the archive holds those.
TEST_F(WineEngineTest, ShortNamesAsTheFileSystemGivesThem) {
    MakeDir(tree + L"\\Long Folder Name");
    WriteW(tree + L"\\Long Folder Name\\Long File Name.text", "short");
    wchar_t shortPath[MAX_PATH + 1];
    ASSERT_NE(GetShortPathNameW((tree + L"\\Long Folder Name\\Long File Name.text").c_str(), shortPath, MAX_PATH + 1), 0u);
    std::wstring path = shortPath;
    std::wstring file = path.substr(path.find_last_of(L'\\') + 1);
    path.resize(path.find_last_of(L'\\'));
    std::string folder = Utf8(path.substr(path.find_last_of(L'\\') + 1));
    if (file == L"Long File Name.text") std::printf("no 8.3 names on this volume: the long names are stored\n");
    Outcome out = Archive(tree, {"Long Folder Name"}, "short-names.zip",
                          {{folder + "/", Expected::Dir()}, {folder + "/" + Utf8(file), Expected::File("short")}},
                          [](ZipOptions& o) { o.shortNames = 1; });
    EXPECT_EQ(out.status, ZIP_OK) << out.log;
}

// Writes a file into folder from the Unix side, where Wine's names are
// case-sensitive; false when that cannot be done (not under Wine).
bool WriteFromUnix(const std::wstring& folder, const std::string& name, const std::string& content) {
    using UnixName = char* (*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* unixFolder = unixName ? unixName(folder.c_str()) : nullptr;
    if (!unixFolder) return false;
    std::string command = "/bin/sh -c \"printf " + content + " > '" + unixFolder + "/" + name + "'\"";
    HeapFree(GetProcessHeap(), 0, unixFolder);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA("/bin/sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Windows takes names regardless of case, full-width letters too: a file
// whose name differs from an entry's only in case replaces the entry instead
// of joining it as a second one that extracting would lay over the first,
// and a name in the request finds it in whichever case it is written.
TEST_F(WineEngineTest, NameDifferingOnlyInCaseReplacesTheEntry) {
    const std::pair<std::wstring, std::wstring> names[] = {
        {L"資料Ａ.txt", L"資料ａ.txt"}, {L"ДАННЫЕ.txt", L"данные.txt"}, {L"ReadMe.TXT", L"readme.txt"}};
    MakeDir(tree + L"\\t");
    for (const auto& [old, now] : names) {
        const std::string request = "t\\" + Utf8(old), entry = "t/" + Utf8(now);
        SCOPED_TRACE(entry);
        WriteW(tree + L"\\t\\" + old, "old");
        DeleteFileA((kOut + "/case.zip").c_str());
        ASSERT_EQ(Archive(tree, {request}, "case.zip", {{"t/" + Utf8(old), Expected::File("old")}}).status, ZIP_OK);
        DeleteFileW((tree + L"\\t\\" + old).c_str());
        WriteW(tree + L"\\t\\" + now, "new");
        Outcome out = Archive(tree, {request}, "case.zip", {{entry, Expected::File("new")}});
        EXPECT_EQ(out.status, ZIP_OK) << out.log;
        EXPECT_NE(out.log.find("置換: " + entry), std::string::npos) << out.log;
        if (now != L"readme.txt") DeleteFileW((tree + L"\\t\\" + now).c_str());
    }
    // On a case-sensitive disk (Wine's) two files may differ in case only:
    // both are stored, one in the old entry's place, and each replaces its
    // own entry the next time.
    if (!WriteFromUnix(tree + L"\\t", "README.TXT", "twin")) GTEST_SKIP() << "not under Wine";
    for (int run = 0; run < 2; ++run) {
        Outcome out = Archive(tree, {"t\\*"}, "case.zip",
                              {{"t/README.TXT", Expected::File("twin")}, {"t/readme.txt", Expected::File("new")}});
        EXPECT_EQ(out.status, ZIP_OK) << out.log;
    }
}

// Another program holding a file open without sharing for a while: a
// handle without sharing, closed after that time or when the run is over
// (sharing is a matter of handles, not of processes).
class HeldFile {
public:
    HeldFile(const std::wstring& path, DWORD milliseconds)
        : file_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)),
          release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          holder_([this, milliseconds] { WaitForSingleObject(release_, milliseconds), CloseHandle(file_); }) {}
    ~HeldFile() {
        SetEvent(release_);
        holder_.join();
        CloseHandle(release_);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_, release_;
    std::thread holder_;
};

// A file held by another program for a moment (a virus scanner) is waited
// for; one held for longer (an office program) is named, kept in move mode,
// and the rest archived; an archive held for longer is left as it was. A log
// another program keeps open for writing, sharing reads and writes, is
// archived as it is, and kept, as that program does not let it be deleted.
TEST_F(WineEngineTest, FilesHeldByAnotherProgram) {
    const struct {
        const char* what;
        bool holdArchive;  // else the input locked.txt
        DWORD holdMs;
        int status;
        std::vector<const char*> logged;  // each sentence of a long line, which is broken after each
    } cases[] = {
        {"input held 0.5 s", false, 500, ZIP_OK, {"追加: t/locked.txt"}},
        {"input held 10 s", false, 10000, ZIP_PARTIAL,
         {"t/locked.txt は他のプログラムが開いているため読み込めません", "書庫には入れませんでした(元のファイルは残しています)"}},
        {"archive held 0.5 s", true, 500, ZIP_OK, {"追加: t/locked.txt"}},
        {"archive held 10 s", true, 10000, ZIP_READ_FAILED, {"held.zip を読み込めません (他のプロセスが使用中です)"}},
    };
    const std::string archive = kOut + "/held.zip";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(tree + L"\\t");
        MakeDir(tree + L"\\t");
        WriteW(tree + L"\\t\\a.txt", "free");
        WriteW(tree + L"\\t\\locked.txt", "locked");
        DeleteFileA(archive.c_str());
        ExpectedArchive want{{"t/", Expected::Dir()}, {"t/a.txt", Expected::File("free")},
                             {"t/locked.txt", Expected::File("locked")}};
        if (c.holdArchive) {
            ASSERT_EQ(Archive(tree, {"t\\a.txt"}, "held.zip", {{"t/a.txt", want["t/a.txt"]}}).status, ZIP_OK);
        }
        const std::string before = ReadAll(archive);
        HANDLE log = INVALID_HANDLE_VALUE;
        if (c.status == ZIP_PARTIAL) {
            WriteW(tree + L"\\t\\log.txt", "log");
            want["t/log.txt"] = Expected::File("log");
            want.erase("t/locked.txt");
            log = CreateFileW((tree + L"\\t\\log.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(log, INVALID_HANDLE_VALUE);
        }
        std::optional<HeldFile> held;
        held.emplace(c.holdArchive ? Wide(archive) : tree + L"\\t\\locked.txt", c.holdMs);
        ASSERT_TRUE(held->Held());
        Outcome out = Archive(tree, {"t"}, "held.zip", want, [](ZipOptions& o) { o.move = 1; });
        held.reset();
        if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
        EXPECT_EQ(out.status, c.status) << out.log;
        for (const char* sentence : c.logged) EXPECT_NE(out.log.find(sentence), std::string::npos) << out.log;
        EXPECT_EQ(Exists(tree + L"\\t\\locked.txt"), c.status != ZIP_OK);
        EXPECT_EQ(Exists(tree + L"\\t\\a.txt"), c.status == ZIP_READ_FAILED);
        EXPECT_EQ(Exists(tree + L"\\t\\log.txt"), c.status == ZIP_PARTIAL);
        if (c.status == ZIP_READ_FAILED) {
            EXPECT_EQ(ReadAll(archive), before);
            WriteExpectedJson(archive + ".expected.json", {{"t/a.txt", Expected::File("free")}});
        }
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

// The program loads and frees the engine on every drop. 500 times in one
// process: load, archive a folder, update it with one file changed, fail on
// a file that is not an archive, free. From the 50th time on private bytes
// may grow by at most 1 KiB a time, kernel handles and free thread-local
// slots not at all (a process has 1,088 slots; a library that keeps one per
// load ends every later load once they are gone).
TEST(EngineLifetime, LoadRunAndFreeFiveHundredTimesLeavesNothingBehind) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring tree = std::wstring(temp) + L"tirvo-lifetime-" + std::to_wstring(GetCurrentProcessId());
    MakeDir(tree);
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
    RemoveTree(tree);
}

}  // namespace
