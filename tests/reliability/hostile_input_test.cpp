// Hostile and unusual input, archives and trees: the engine refuses cleanly
// (old archive byte for byte, no temporary file) or writes an archive all
// three readers accept.
#include "engine_client.h"
#include "expected_archive.h"
#include "mount.h"
#include "reader_check.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <iostream>

namespace {

using Damaged = std::vector<std::pair<std::string, std::string>>;  // what was done, and the bytes

std::uint64_t Get(const std::string& bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// A field of an archive made to lie: width bytes at offset at, raised ('+') or lowered ('-') by, or set ('=') to by.
struct Lie {
    const char* name;
    std::size_t at;
    int width;
    char op;
    std::uint64_t by;
};

Damaged Lies(const std::string& valid, const std::vector<Lie>& lies) {
    Damaged damaged;
    for (const Lie& lie : lies) {
        std::string bytes = valid;
        const std::uint64_t was = Get(valid, lie.at, lie.width);
        const std::uint64_t value = lie.op == '=' ? lie.by : lie.op == '+' ? was + lie.by : was - lie.by;
        for (int i = 0; i < lie.width; ++i) bytes[lie.at + i] = static_cast<char>(value >> (8 * i));
        damaged.emplace_back(lie.name, bytes);
    }
    return damaged;
}

class HostileInputTest : public ::testing::Test {
protected:
    EngineLibrary engine{ZIP32_LIBRARY};
    TempFolder folder;
    fs::path src = folder.Path() / "src", archive = folder.Path() / "out.zip";
    const ExpectedArchive oldEntries{
        {"k/", Expected::Dir()}, {"k/one.txt", Expected::File("one")}, {"k/two.txt", Expected::File("two two two")}};

    void SetUp() override {
        ASSERT_TRUE(engine.Complete());
        WriteFile(src / "k" / "one.txt", "one");
        WriteFile(src / "k" / "two.txt", "two two two");
        WriteFile(src / "n.txt", "new file");
    }

    Outcome Run(std::vector<std::string> names, bool move = false) const {
        Request r = NewRequest(src, archive, std::move(names));
        r.options.move = move;
        return RunRequest(engine, r, {});
    }

    // Adds n.txt to each damaged archive in turn: refused cleanly, or accepted
    // with every old entry intact. Prints and returns how many were accepted.
    int AddToEach(const Damaged& damaged, const ExpectedArchive& old) {
        int accepted = 0;
        for (const auto& [what, bytes] : damaged) {
            SCOPED_TRACE(what);
            WriteFile(archive, bytes);
            Outcome out = Run({"n.txt"});
            EXPECT_TRUE(Temporaries(folder.Path()).empty());
            if (out.status != ZIP_OK) {
                EXPECT_TRUE(ReadFile(archive) == bytes) << "refused (" << out.status << ") but changed the file";
                EXPECT_NE(out.log.find("エラー"), std::string::npos) << out.log;
                continue;
            }
            ++accepted;
            ExpectedArchive want = old;
            want["n.txt"] = Expected::File("new file");
            EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << "accepted, but wrote a bad archive\n" << out.log;
        }
        std::cout << "[ FIGURES  ] " << damaged.size() << " archives, " << accepted << " accepted\n";
        return accepted;
    }
};

TEST_F(HostileInputTest, ArchiveCutAtEveryLength) {
    Request r = NewRequest(src, archive, {"k"});
    r.options.comment = 1;
    Answers answers;
    answers.comment = "comment";
    ASSERT_EQ(RunRequest(engine, r, answers).status, ZIP_OK);
    const std::string valid = ReadFile(archive);
    Damaged cut;
    for (std::size_t length = 0; length < valid.size(); ++length)
        cut.emplace_back("cut at " + std::to_string(length), valid.substr(0, length));
    AddToEach(cut, oldEntries);
}

TEST_F(HostileInputTest, CentralDirectoryThatLies) {
    ASSERT_EQ(Run({"k"}).status, ZIP_OK);
    const std::string valid = ReadFile(archive);
    const std::size_t end = valid.size() - 22;
    ASSERT_EQ(Get(valid, end, 4), 0x06054B50u);
    const std::size_t central = Get(valid, end + 16, 4);
    // The second central header: the first is k/.
    const std::size_t second = central + 46 + Get(valid, central + 28, 2) + Get(valid, central + 30, 2) +
                               Get(valid, central + 32, 2);
    AddToEach(Lies(valid, {
        {"entries on this disk + 1", end + 8, 2, '+', 1}, {"entries on this disk - 1", end + 8, 2, '-', 1},
        {"total entries + 1", end + 10, 2, '+', 1}, {"total entries - 1", end + 10, 2, '-', 1},
        {"both counts 0", end + 8, 4, '=', 0}, {"both counts 0xFFFF without Zip64", end + 8, 4, '=', 0xFFFFFFFF},
        {"directory size + 1", end + 12, 4, '+', 1}, {"directory size - 1", end + 12, 4, '-', 1},
        {"directory size huge", end + 12, 4, '=', 0xFFFFFFF0}, {"directory offset + 1", end + 16, 4, '+', 1},
        {"directory offset - 1", end + 16, 4, '-', 1},
        {"directory offset past the end", end + 16, 4, '=', valid.size() + 100},
        {"directory offset 0xFFFFFFFF without Zip64", end + 16, 4, '=', 0xFFFFFFFF},
        {"comment length past the end", end + 20, 2, '=', 40}, {"compressed size + 1", second + 20, 4, '+', 1},
        {"compressed size - 1", second + 20, 4, '-', 1}, {"compressed size huge", second + 20, 4, '=', 0x7FFFFFFF},
        {"uncompressed size + 1", second + 24, 4, '+', 1},
        {"uncompressed size 0xFFFFFFFF without Zip64", second + 24, 4, '=', 0xFFFFFFFF},
        {"CRC wrong", second + 16, 4, '+', 1}, {"name length huge", second + 28, 2, '=', 0xFFFF},
        {"extra length past the directory", second + 30, 2, '=', 0x1000},
        {"comment length past the directory", second + 32, 2, '=', 0x1000},
        {"local offset + 1", second + 42, 4, '+', 1}, {"local offset past the end", second + 42, 4, '=', valid.size()},
        {"local offset into the directory", second + 42, 4, '=', central},
        {"local offset 0xFFFFFFFF without Zip64", second + 42, 4, '=', 0xFFFFFFFF},
        {"local header signature", Get(valid, second + 42, 4), 4, '=', 0x02014B50},
        {"local name length differs", Get(valid, second + 42, 4) + 26, 2, '+', 1},
        {"local extra length huge", Get(valid, second + 42, 4) + 28, 2, '=', 0xFFFF},
    }), oldEntries);
}

TEST_F(HostileInputTest, Zip64FieldsThatLie) {
    // One entry described through Zip64 fields only (fuzz seed): 68 bytes of
    // local entry, its central header with the Zip64 extra at 121, the Zip64
    // end record at 149 and its locator at 205.
    const std::string valid = ReadFile(fs::path(FUZZ_CORPUS) / "zip64.zip");
    ASSERT_EQ(valid.size(), 247u);
    const ExpectedArchive old{{"z64.txt", Expected::File("zip64 seed\n")}};
    EXPECT_EQ(AddToEach({{"the honest archive", valid}}, old), 1);
    AddToEach(Lies(valid, {
        {"Zip64 uncompressed size huge", 125, 8, '=', 0x7FFFFFFFFFFFFFFF},
        {"Zip64 compressed size huge", 133, 8, '=', 0xFFFFFFFFFFFF}, {"Zip64 compressed size + 1", 133, 8, '=', 12},
        {"Zip64 local offset past the end", 141, 8, '=', 1000},
        {"Zip64 local offset huge", 141, 8, '=', 0xFFFFFFFFFFFFFFF0}, {"Zip64 entries on this disk 2", 173, 8, '=', 2},
        {"Zip64 total entries 0", 181, 8, '=', 0}, {"Zip64 total entries huge", 181, 8, '=', 0xFFFFFFFFFFFF},
        {"Zip64 directory size + 1", 189, 8, '=', 82}, {"Zip64 directory size huge", 189, 8, '=', 0x7FFFFFFFFFFFFFFF},
        {"Zip64 directory offset + 1", 197, 8, '=', 69},
        {"Zip64 directory offset huge", 197, 8, '=', 0xFFFFFFFFFFFFFF00},
        {"locator points past the end", 213, 8, '=', 4000}, {"locator points at the locator", 213, 8, '=', 205},
        {"locator points huge", 213, 8, '=', 0x8000000000000000},
    }), old);
}

TEST_F(HostileInputTest, FilesThatAreNoArchive) {
    const Damaged notArchives = {
        {"noise", Noise(100000)},
        {"a program", "MZ\x90" + std::string(5000, '\0')},
        {"zeros", std::string(1 << 20, '\0')},
        {"a local header and nothing else", std::string("PK\x03\x04", 4) + std::string(26, '\0')},
        {"an end record alone, claiming entries", std::string("PK\x05\x06\0\0\0\0\x05\0\x05\0\x10\0\0\0\0\0\0\0\0\0", 22)},
        {"end signature in a text", "text PK\x05\x06 more text"}};
    EXPECT_EQ(AddToEach(notArchives, {}), 0);
    // A folder where the archive should be.
    fs::remove(archive);
    fs::create_directories(archive);
    Outcome out = Run({"n.txt"});
    EXPECT_NE(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("はフォルダーなので"), std::string::npos) << out.log;
    EXPECT_TRUE(fs::is_directory(archive) && fs::is_empty(archive));
    EXPECT_TRUE(Temporaries(folder.Path()).empty());
}

// The archive on a read-only view or a full disk (a 1 MiB tmpfs), the work directory on a full disk: refused in
// add and move mode alike, the originals kept. A missing work directory puts the temporary beside the archive.
TEST_F(HostileInputTest, PlacesThatCannotBeWritten) {
    const fs::path data = folder.Path() / "data", full = folder.Path() / "full";
    Mount readOnly(folder.Path() / "ro"), fullDisk(full);
    fs::create_directories(data);
    if (!fullDisk.Tmpfs("size=1m") || !readOnly.ReadOnlyView(data)) GTEST_SKIP() << "cannot mount here";
    const struct {
        const char* what;
        fs::path made, archive, work;  // where the old archive is made, where the run writes it
        int status;
        const char* logged;
    } cases[] = {
        {"work directory missing", archive, archive, folder.Path() / "no such folder", ZIP_OK, ""},
        {"archive read-only", data / "out.zip", folder.Path() / "ro" / "out.zip", {}, ZIP_OPEN_FAILED, ""},
        {"archive on a full disk", full / "out.zip", full / "out.zip", {}, ZIP_WRITE_FAILED, ""},
        {"work directory full", archive, archive, full, ZIP_WRITE_FAILED, "ディスクの空き容量が足りません"},
    };
    ExpectedArchive want = oldEntries;
    want["k/noise.bin"] = Expected::File(Noise(400 << 10));
    want["big.bin"] = Expected::File(Noise(700 << 10));
    WriteFile(src / "k" / "noise.bin", want["k/noise.bin"].content);
    for (const auto& c : cases) {
        for (bool move : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (move ? ", move" : ", add"));
            WriteFile(src / "big.bin", want["big.bin"].content);
            fs::remove(c.made);
            ASSERT_EQ(RunRequest(engine, NewRequest(src, c.made, {"k"}), {}).status, ZIP_OK);
            const std::string before = ReadFile(c.archive);
            Request r = NewRequest(src, c.archive, {"big.bin"});
            r.options.move = move;
            r.options.useTempDir = !c.work.empty();
            r.tempDir = Utf8(c.work);
            Outcome out = RunRequest(engine, r, {});
            EXPECT_EQ(out.status, c.status) << out.log;
            EXPECT_NE(out.log.find(c.logged), std::string::npos) << out.log;
            if (c.status != ZIP_OK) EXPECT_TRUE(ReadFile(c.archive) == before);
            else EXPECT_EQ(ReaderProblems(Utf8(c.archive), want), "");
            EXPECT_FALSE(c.status == ZIP_OK && Exists(c.work));
            EXPECT_EQ(Exists(src / "big.bin"), !move || c.status != ZIP_OK);
            EXPECT_TRUE(Temporaries(folder.Path()).empty());
        }
    }
}

// A file that changes just before it is read: stored as read, or reported and left out; while read (polled at
// every piece): left out, its old entry kept, the run no success; after it was stored, in its size or its time
// only: stored as it was. Move never deletes a file unless the archive holds what it holds now.
TEST_F(HostileInputTest, FileChangesWhileRead) {
    EngineLibrary polling{ZIP32_FAULTS_LIBRARY};
    reinterpret_cast<void (*)(unsigned)>(polling.Symbol("ZpTestSetHeartbeatInterval"))(0);
    const fs::path big = src / "g" / "big.bin";
    WriteFile(src / "g" / "next.bin", "next");
    constexpr std::uint64_t kSize = 6 << 20;  // past the size that is compressed ahead
    enum When { kBeforeRead, kWhileRead, kAfterStored };
    const struct {
        const char* name;
        std::uint64_t newSize;
        When when;
    } cases[] = {{"grows", kSize + (1 << 20), kBeforeRead}, {"shrinks", 1 << 20, kBeforeRead},
                 {"empties", 0, kBeforeRead}, {"grows past the block size", 3 * kSize, kBeforeRead},
                 {"grows while read", kSize + (1 << 20), kWhileRead}, {"shrinks while read", 1 << 20, kWhileRead},
                 {"grows after it was stored", kSize + 100, kAfterStored},
                 {"touched after it was stored", kSize, kAfterStored}};
    for (const auto& [name, newSize, when] : cases) {
        for (bool move : {false, true}) {
            SCOPED_TRACE(std::string(name) + (move ? ", move" : ", add"));
            fs::remove(archive);
            WriteFile(big, "old");
            ASSERT_EQ(Run({"g/big.bin"}).status, ZIP_OK);
            WriteFile(big, std::string(kSize, '\0'));
            Touch(big, -100);
            Answers answers;
            int polls = 0;
            answers.onService = [&, newSize = newSize, when = when](const std::string& entry) {
                if (entry != (when == kAfterStored ? "g/next.bin" : "g/big.bin")) return;
                if (++polls != (when == kWhileRead ? 2 : 1)) return;
                fs::resize_file(big, newSize);
                Touch(big, 0);
            };
            Request r = NewRequest(src, archive, {"g"});
            r.options.move = move;
            Outcome out = RunRequest(polling, r, answers);
            // Move keeps a file that is no longer as it was found (DELETE_FAILED).
            EXPECT_TRUE(out.status == ZIP_OK || out.status == ZIP_PARTIAL || (move && out.status == ZIP_DELETE_FAILED))
                << out.log;
            const bool left = out.log.find("エラー: g/big.bin は読み込み中に") != std::string::npos ||
                              out.log.find("エラー: g/big.bin を読み込めません") != std::string::npos;
            EXPECT_TRUE(left ? when != kAfterStored && out.status != ZIP_OK : when != kWhileRead) << out.log;
            const ExpectedArchive want{
                {"g/", Expected::Dir()}, {"g/next.bin", Expected::File("next")},
                {"g/big.bin", left ? Expected::File("old") : Expected::Zeros(when == kAfterStored ? kSize : newSize)}};
            EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << out.log;
            if (left || !move || when == kAfterStored) {
                EXPECT_TRUE(Exists(big) && fs::file_size(big) == newSize);
            }
            EXPECT_TRUE(Temporaries(folder.Path()).empty());
            WriteFile(src / "g" / "next.bin", "next");
        }
    }
}

// Every kind of character a Windows file name may hold (pattern characters in a folder taken whole, code page
// 932 with a 0x5C trail byte, characters outside it), in a tree deeper than a path may be long (made through
// folder handles): what lies within reach is archived and read back, the rest reported.
TEST_F(HostileInputTest, NamesOfEveryKindAndPathsTooLong) {
    ExpectedArchive want{{"deep/", Expected::Dir()}};
    const std::vector<std::string> names = {" !#$%&'()+,;=@[]^_`{}~.txt", "日本語ｶﾅ.txt", "表示.txt",
                                            "Ελληνικά Кириллица.txt", "한국어 ä ß.txt", "emoji 😀.txt",
                                            "trailing dot.", "trailing space ", std::string(250, 'x')};
    for (const std::string& name : names) {
        WriteFile(src / "deep" / fs::u8path(name), "content of " + name);
        want["deep/" + name] = Expected::File("content of " + name);
    }
    std::string absolute = Utf8(src / "deep"), relative = "deep";
    int fd = open(absolute.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    // 40 folders of 200 characters: 8,000 characters, twice PATH_MAX.
    for (int i = 0; i < 40; ++i) {
        const std::string part = std::to_string(i) + std::string(200 - std::to_string(i).size(), 'd');
        ASSERT_EQ(mkdirat(fd, part.c_str(), 0755), 0);
        const int child = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = child;
        // A folder is found when its parent can be listed.
        if (absolute.size() < PATH_MAX) want[relative + "/" + part + "/"] = Expected::Dir();
        absolute += "/" + part;
        relative += "/" + part;
    }
    close(fd);
    Outcome out = Run({"deep"});
    EXPECT_EQ(out.status, ZIP_PARTIAL) << out.log.substr(0, 3000);
    EXPECT_NE(out.log.find("エラー"), std::string::npos);
    EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << out.log.substr(0, 3000);
    EXPECT_TRUE(Temporaries(folder.Path()).empty());
    EXPECT_EQ(std::system(("rm -rf '" + Utf8(src / "deep") + "'").c_str()), 0);  // beyond what std::filesystem removes
}

// A folder of many files, each named in one move request: once minutes, as the folder was listed for every
// name. RELIABILITY_MANY_FILES sets the count (scripts/reliability-long.sh: 100,000).
TEST_F(HostileInputTest, FolderWithVeryManyFiles) {
    const int count = IntFromEnvironment("RELIABILITY_MANY_FILES", 10000);
    std::vector<std::string> names;
    ExpectedArchive want;
    for (int i = 0; i < count; ++i) {
        names.push_back("many/f" + std::to_string(i) + ".txt");
        WriteFile(src / names.back(), names.back());
        want[names.back()] = Expected::File(names.back());
    }
    const auto start = std::chrono::steady_clock::now();
    Outcome out = Run(names, true);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(out.status, ZIP_OK) << out.log.substr(0, 2000);
    EXPECT_LT(seconds.count(), 60 * std::max(1, count / 10000));
    EXPECT_EQ(ReaderProblems(Utf8(archive), want), "");
    EXPECT_TRUE(fs::is_empty(src / "many"));
    std::cout << "[ FIGURES  ] " << count << " files in one folder moved in " << seconds.count() << " s\n";
}

}  // namespace
