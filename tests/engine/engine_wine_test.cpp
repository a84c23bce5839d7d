// ZIP32.DLL under Wine, loaded by name as the program loads it, then its Win32 platform layer linked in: what only
// Windows has. Each archive is left with what it must hold for the three readers, which ctest runs next on the Linux
// side; it removes archives and trees before each run.
#include "engine_client.h"
#include "expected_archive.h"
#include "lock_wait.h"
#include "platform.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kOut = ENGINE_WINE_OUT;

// \\?\ form so that every helper works beyond 260 characters.
std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

void MakeDir(const std::wstring& path) { CreateDirectoryW(Long(path).c_str(), nullptr); }

void WriteW(const std::wstring& path, const std::string& content, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    ASSERT_TRUE(std::ofstream(fs::path(Long(path)), std::ios::binary) << content);
    SetFileAttributesW(Long(path).c_str(), attributes);
}

class WineEngineTest : public ::testing::Test {
protected:
    EngineLibrary engine{"ZIP32.DLL"};
    // A folder of the test's own beside the archives.
    const std::wstring tree = fs::path(kOut + "/" + testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                                       std::to_string(std::random_device()())).make_preferred().wstring();

    void SetUp() override { ASSERT_TRUE(engine.Complete() && fs::create_directories(tree)); }

    // One request from root into the output folder, the archive left there with what it must hold.
    Outcome Archive(const std::wstring& root, std::vector<std::string> names, const std::string& archiveName,
                    const ExpectedArchive& expected, void (*set)(ZipOptions&) = nullptr) {
        Request r;
        r.root = Utf8(root) + "\\", r.archive = kOut + "/" + archiveName, r.names = std::move(names);
        if (set) set(r.options);
        WriteExpectedJson(r.archive + ".expected.json", expected);
        return RunRequest(engine, r, Answers());
    }
};

// Under a root over 260 characters: hidden and system files taken only when asked; names with a 0x5C trail byte
// (ソ 83 5C, 表 95 5C) or outside code page 932. A hidden, system archive stays so when replaced. Names differing in
// case only (full-width and Cyrillic too) are one name, the entry replaced rather than joined by a second. In a
// move, an input held for a moment (a virus scanner) is waited for, one held longer (an office program) named and
// kept, a log written with shared access archived and kept. Short names are the file system's.
TEST_F(WineEngineTest, NamesAndAttributesAsWindowsHasThem) {
    std::wstring root = tree;
    for (int i = 0; i < 8; ++i) MakeDir(root += L"\\folder-with-a-rather-long-name-" + std::to_wstring(i));
    ASSERT_GT(root.size(), 260u);
    for (const wchar_t* dir : {L"\\t", L"\\t\\hdir", L"\\表示", L"\\c"}) MakeDir(root + dir);
    SetFileAttributesW(Long(root + L"\\t\\hdir").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    WriteW(root + L"\\t\\plain.txt", "plain");
    WriteW(root + L"\\t\\hidden.txt", "hidden", FILE_ATTRIBUTE_HIDDEN);
    WriteW(root + L"\\t\\system.txt", "system", FILE_ATTRIBUTE_SYSTEM);
    WriteW(root + L"\\t\\hdir\\inner.txt", "inner");
    WriteW(root + L"\\表示\\ソース.txt", "dbcs");
    WriteW(root + L"\\한국어.txt", "korean");
    std::vector<std::string> names{"t", "表示", "*.txt"};
    ExpectedArchive want{{"t/", Expected::Dir()},    {"t/plain.txt", Expected::File("plain")},
                         {"表示/", Expected::Dir()}, {"表示/ソース.txt", Expected::File("dbcs")},
                         {"한국어.txt", Expected::File("korean")}};
    const std::wstring cases[][2] = {
        {L"資料Ａ.txt", L"資料ａ.txt"}, {L"ДАННЫЕ.txt", L"данные.txt"}, {L"ReadMe.TXT", L"readme.txt"}};
    for (const auto& [old, now] : cases) {
        WriteW(root + L"\\c\\" + old, "old");
        names.push_back("c\\" + Utf8(old));
        want["c/" + Utf8(old)] = Expected::File("old");
    }
    fs::remove(kOut + "/windows-names.zip");
    Outcome out = Archive(root, names, "windows-names.zip", want);
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("表示/ソース.txt"), std::string::npos) << out.log;

    const std::wstring archive = fs::path(kOut + "/windows-names.zip").wstring();
    const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(archive.c_str(), hiddenSystem));
    want.insert({{"t/hidden.txt", Expected::File("hidden")}, {"t/system.txt", Expected::File("system")},
                 {"t/hdir/", Expected::Dir()}, {"t/hdir/inner.txt", Expected::File("inner")}});
    for (const auto& [old, now] : cases) {
        DeleteFileW(Long(root + L"\\c\\" + old).c_str());
        WriteW(root + L"\\c\\" + now, "new");
        want.erase("c/" + Utf8(old));
        want["c/" + Utf8(now)] = Expected::File("new");
    }
    // The other program's handles: one closed after half a second, the others when the run is over.
    const std::wstring held = Long(root + L"\\t\\");
    for (const char* name : {"moment", "locked", "log"}) WriteW(root + L"\\t\\" + fs::path(name).wstring() + L".txt", name);
    auto open = [](const std::wstring& path, DWORD share = 0) {
        return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE moment = open(held + L"moment.txt"), locked = open(held + L"locked.txt");
    HANDLE log = open(held + L"log.txt", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(moment != INVALID_HANDLE_VALUE && locked != INVALID_HANDLE_VALUE && log != INVALID_HANDLE_VALUE);
    std::thread scanner([moment] { Sleep(500), CloseHandle(moment); });
    want.insert({{"t/moment.txt", Expected::File("moment")}, {"t/log.txt", Expected::File("log")}});
    out = Archive(root, names, "windows-names.zip", want, [](ZipOptions& o) { o.systemFiles = o.move = 1; });
    scanner.join();
    CloseHandle(locked);
    CloseHandle(log);
    EXPECT_EQ(out.status, ZIP_PARTIAL) << out.log;
    EXPECT_EQ(GetFileAttributesW(archive.c_str()) & hiddenSystem, hiddenSystem);
    for (const auto& [old, now] : cases)
        EXPECT_NE(out.log.find("置換: c/" + Utf8(now)), std::string::npos) << out.log;
    // Each sentence of a long line, which is broken after each.
    for (const char* sentence : {"t/locked.txt は他のプログラムが開いているため読み込めません",
                                 "書庫には入れませんでした(元のファイルは残しています)"})
        EXPECT_NE(out.log.find(sentence), std::string::npos) << out.log;
    EXPECT_FALSE(fs::exists(held + L"moment.txt") || fs::exists(held + L"plain.txt"));
    EXPECT_TRUE(fs::exists(held + L"locked.txt") && fs::exists(held + L"log.txt"));

    const std::wstring file = tree + L"\\Long Folder Name\\Long File Name.text";
    MakeDir(tree + L"\\Long Folder Name");
    WriteW(file, "short");
    wchar_t shortPath[MAX_PATH + 1];
    ASSERT_NE(GetShortPathNameW(file.c_str(), shortPath, MAX_PATH + 1), 0u);
    const fs::path path = shortPath;
    const std::string folder = Utf8(path.parent_path().filename()) + "/";
    fs::remove(kOut + "/short-names.zip");
    out = Archive(tree, {"Long Folder Name"}, "short-names.zip",
                  {{folder, Expected::Dir()}, {folder + Utf8(path.filename()), Expected::File("short")}},
                  [](ZipOptions& o) { o.shortNames = 1; });
    EXPECT_EQ(out.status, ZIP_OK) << out.log;
}

std::uint32_t ZIP_API Print(const char*, std::uint32_t) { return 0; }
int ZIP_API Service(const char*, std::uint32_t) { return 0; }

TEST(InputOpener, WaitsForDeniedInputsUntilOneWaitCameToNothing) {
    Heartbeat heartbeat(Print, Service);
    InputOpener inputs(heartbeat);
    int attempts = 0;
    auto failing = [&](DWORD code, int times) {
        attempts = 0;
        const auto kind = code == ERROR_SHARING_VIOLATION ? platform::ErrorKind::SharingViolation
                                                          : platform::ErrorKind::AccessDenied;
        return [&attempts, kind, code, times](platform::Error& e) {
            e = {kind, code};
            return ++attempts > times;
        };
    };
    platform::Error error;
    EXPECT_TRUE(inputs.Open(failing(ERROR_ACCESS_DENIED, 2), error));  // held for a moment
    EXPECT_EQ(attempts, 3);
    EXPECT_FALSE(inputs.Open(failing(ERROR_ACCESS_DENIED, 1000000), error));  // waited out in vain
    EXPECT_GT(attempts, 3);
    EXPECT_FALSE(inputs.Open(failing(ERROR_ACCESS_DENIED, 1), error));  // from now on left out at once
    EXPECT_EQ(attempts, 1);
    EXPECT_TRUE(inputs.Open(failing(ERROR_SHARING_VIOLATION, 2), error));  // still waited for
    EXPECT_EQ(attempts, 3);
}

}  // namespace
