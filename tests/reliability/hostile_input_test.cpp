// Hostile and unusual input: archives cut short or with a central directory
// that lies, files that are no archive at all, places it cannot write to,
// files that change while read, names of every kind, paths too long and
// very many files. The engine must refuse cleanly (old archive byte for
// byte, no temporary file) or write an archive all three readers accept.
#include "reader_check.h"
#include "run_scenario.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>

namespace {

void Put(std::string& bytes, std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

std::uint64_t Get(const std::string& bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// A field of an archive made to lie: width bytes at offset at, given the value
// value(v) of what they held.
struct Lie {
    const char* name;
    std::size_t at;
    int width;
    std::function<std::uint64_t(std::uint64_t)> value;
};

std::function<std::uint64_t(std::uint64_t)> Plus(std::int64_t d) {
    return [d](std::uint64_t v) { return v + static_cast<std::uint64_t>(d); };
}

std::function<std::uint64_t(std::uint64_t)> Set(std::uint64_t x) {
    return [x](std::uint64_t) { return x; };
}

class HostileInputTest : public ::testing::Test {
protected:
    EngineLibrary engine{ZIP32_LIBRARY};
    TempFolder folder;
    fs::path src = folder.Path() / "src";
    fs::path archive = folder.Path() / "out.zip";

    void SetUp() override {
        ASSERT_TRUE(engine.Complete());
        WriteFile(src / "k" / "one.txt", "one");
        WriteFile(src / "k" / "two.txt", "two two two");
        WriteFile(src / "n.txt", "new file");
    }

    Request NewRequest(std::vector<std::string> names) const { return ::NewRequest(src, archive, std::move(names)); }

    // Adds n.txt to an archive holding bytes; refused cleanly, or accepted
    // with every old entry intact. Returns whether the engine accepted it.
    bool AddToDamaged(const std::string& bytes, const ExpectedArchive& oldEntries) {
        WriteFile(archive, bytes);
        Outcome out = RunRequest(engine, NewRequest({"n.txt"}), Answers());
        EXPECT_TRUE(Temporaries(folder.Path()).empty());
        std::string after = ReadFile(archive);
        if (out.status != ZIP_OK) {
            EXPECT_TRUE(after == bytes) << "refused (" << out.status << ") but changed the file";
            EXPECT_NE(out.log.find("エラー"), std::string::npos) << out.log;
            return false;
        }
        ExpectedArchive want = oldEntries;
        want["n.txt"] = Expected::File("new file");
        EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << "accepted, but wrote a bad archive\n" << out.log;
        return true;
    }

    // Each lie told in turn in a copy of valid; prints how many were accepted.
    void AddToEachLie(const std::string& valid, const ExpectedArchive& oldEntries, const std::vector<Lie>& lies) {
        int accepted = 0;
        for (const Lie& lie : lies) {
            SCOPED_TRACE(lie.name);
            std::string bytes = valid;
            Put(bytes, lie.at, lie.value(Get(bytes, lie.at, lie.width)), lie.width);
            accepted += AddToDamaged(bytes, oldEntries);
        }
        std::cout << "[ FIGURES  ] " << lies.size() << " lies, " << accepted << " accepted\n";
    }
};

const ExpectedArchive kOldEntries{{"k/", Expected::Dir()},
                                  {"k/one.txt", Expected::File("one")},
                                  {"k/two.txt", Expected::File("two two two")}};

TEST_F(HostileInputTest, ArchiveCutAtEveryLength) {
    Request r = NewRequest({"k"});
    r.options.comment = 1;
    Answers answers;
    answers.comment = "comment";
    ASSERT_EQ(RunRequest(engine, r, answers).status, ZIP_OK);
    const std::string valid = ReadFile(archive);
    int accepted = 0;
    for (std::size_t length = 0; length < valid.size(); ++length) {
        SCOPED_TRACE("cut at " + std::to_string(length) + " of " + std::to_string(valid.size()));
        accepted += AddToDamaged(valid.substr(0, length), kOldEntries);
    }
    std::cout << "[ FIGURES  ] " << valid.size() << " cut archives, " << accepted << " accepted\n";
}

TEST_F(HostileInputTest, CentralDirectoryThatLies) {
    ASSERT_EQ(RunRequest(engine, NewRequest({"k"}), Answers()).status, ZIP_OK);
    const std::string valid = ReadFile(archive);
    const std::size_t end = valid.size() - 22;
    ASSERT_EQ(Get(valid, end, 4), 0x06054B50u);
    const std::size_t central = Get(valid, end + 16, 4);
    // The second central header: the first is k/.
    const std::size_t second = central + 46 + Get(valid, central + 28, 2) + Get(valid, central + 30, 2) +
                               Get(valid, central + 32, 2);
    AddToEachLie(valid, kOldEntries, {
        {"entries on this disk + 1", end + 8, 2, Plus(1)}, {"entries on this disk - 1", end + 8, 2, Plus(-1)},
        {"total entries + 1", end + 10, 2, Plus(1)}, {"total entries - 1", end + 10, 2, Plus(-1)},
        {"both counts 0", end + 8, 4, Set(0)}, {"both counts 0xFFFF without Zip64", end + 8, 4, Set(0xFFFFFFFF)},
        {"directory size + 1", end + 12, 4, Plus(1)}, {"directory size - 1", end + 12, 4, Plus(-1)},
        {"directory size huge", end + 12, 4, Set(0xFFFFFFF0)}, {"directory offset + 1", end + 16, 4, Plus(1)},
        {"directory offset - 1", end + 16, 4, Plus(-1)},
        {"directory offset past the end", end + 16, 4, Set(valid.size() + 100)},
        {"directory offset 0xFFFFFFFF without Zip64", end + 16, 4, Set(0xFFFFFFFF)},
        {"comment length past the end", end + 20, 2, Set(40)}, {"compressed size + 1", second + 20, 4, Plus(1)},
        {"compressed size - 1", second + 20, 4, Plus(-1)}, {"compressed size huge", second + 20, 4, Set(0x7FFFFFFF)},
        {"uncompressed size + 1", second + 24, 4, Plus(1)},
        {"uncompressed size 0xFFFFFFFF without Zip64", second + 24, 4, Set(0xFFFFFFFF)},
        {"CRC wrong", second + 16, 4, Plus(1)}, {"name length huge", second + 28, 2, Set(0xFFFF)},
        {"extra length past the directory", second + 30, 2, Set(0x1000)},
        {"comment length past the directory", second + 32, 2, Set(0x1000)},
        {"local offset + 1", second + 42, 4, Plus(1)},
        {"local offset past the end", second + 42, 4, Set(valid.size())},
        {"local offset into the directory", second + 42, 4, Set(central)},
        {"local offset 0xFFFFFFFF without Zip64", second + 42, 4, Set(0xFFFFFFFF)},
        {"local header signature", Get(valid, second + 42, 4), 4, Set(0x02014B50)},
        {"local name length differs", Get(valid, second + 42, 4) + 26, 2, Plus(1)},
        {"local extra length huge", Get(valid, second + 42, 4) + 28, 2, Set(0xFFFF)},
    });
}

TEST_F(HostileInputTest, Zip64FieldsThatLie) {
    // One entry described through Zip64 fields only (fuzz seed): 68 bytes of
    // local entry, its central header with the Zip64 extra at 121, the Zip64
    // end record at 149 and its locator at 205.
    const std::string valid = ReadFile(fs::path(FUZZ_CORPUS) / "zip64.zip");
    ASSERT_EQ(valid.size(), 247u);
    const ExpectedArchive old{{"z64.txt", Expected::File("zip64 seed\n")}};
    EXPECT_TRUE(AddToDamaged(valid, old)) << "the honest archive is refused";
    AddToEachLie(valid, old, {
        {"Zip64 uncompressed size huge", 125, 8, Set(0x7FFFFFFFFFFFFFFF)},
        {"Zip64 compressed size huge", 133, 8, Set(0xFFFFFFFFFFFF)}, {"Zip64 compressed size + 1", 133, 8, Set(12)},
        {"Zip64 local offset past the end", 141, 8, Set(1000)},
        {"Zip64 local offset huge", 141, 8, Set(0xFFFFFFFFFFFFFFF0)}, {"Zip64 entries on this disk 2", 173, 8, Set(2)},
        {"Zip64 total entries 0", 181, 8, Set(0)}, {"Zip64 total entries huge", 181, 8, Set(0xFFFFFFFFFFFF)},
        {"Zip64 directory size + 1", 189, 8, Set(82)}, {"Zip64 directory size huge", 189, 8, Set(0x7FFFFFFFFFFFFFFF)},
        {"Zip64 directory offset + 1", 197, 8, Set(69)},
        {"Zip64 directory offset huge", 197, 8, Set(0xFFFFFFFFFFFFFF00)},
        {"locator points past the end", 213, 8, Set(4000)}, {"locator points at the locator", 213, 8, Set(205)},
        {"locator points huge", 213, 8, Set(0x8000000000000000)},
    });
}

TEST_F(HostileInputTest, FilesThatAreNoArchive) {
    const std::pair<const char*, std::string> cases[] = {
        {"noise", Noise(100000)},
        {"a program", "MZ\x90" + std::string(5000, '\0')},
        {"a local header and nothing else", std::string("PK\x03\x04", 4) + std::string(26, '\0')},
        {"an end record alone, claiming entries", std::string("PK\x05\x06\0\0\0\0\x05\0\x05\0\x10\0\0\0\0\0\0\0\0\0", 22)},
        {"zeros", std::string(1 << 20, '\0')},
        {"end signature in a text", "text PK\x05\x06 more text"},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(AddToDamaged(bytes, {}));
    }
    // A folder where the archive should be.
    fs::remove(archive);
    fs::create_directories(archive);
    Outcome out = RunRequest(engine, NewRequest({"n.txt"}), Answers());
    EXPECT_NE(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("はフォルダーなので"), std::string::npos) << out.log;
    EXPECT_TRUE(fs::is_directory(archive) && fs::is_empty(archive));
    EXPECT_TRUE(Temporaries(folder.Path()).empty());
}

// Where the archive or its temporary cannot be written: the archive on a
// read-only view or on a full disk (a 1 MiB tmpfs), the work directory on a
// full disk; a work directory that does not exist puts the temporary beside
// the archive instead. Refused in add and move mode alike: the old archive
// byte for byte, the originals kept, no temporary file.
TEST_F(HostileInputTest, PlacesThatCannotBeWritten) {
    Mount readOnly(folder.Path() / "ro"), full(folder.Path() / "full");
    const fs::path data = folder.Path() / "data";
    fs::create_directories(data);
    if (!full.Tmpfs("size=1m")) GTEST_SKIP() << "cannot mount a small file system here";
    bool viewed = false;
    WriteFile(src / "big.bin", Noise(700 << 10));
    WriteFile(src / "k" / "noise.bin", Noise(400 << 10));
    const struct {
        const char* what;
        fs::path archive, work;
        int status;
        const char* logged = "";
    } cases[] = {
        {"work directory missing", archive, folder.Path() / "no such folder", ZIP_OK},
        {"archive read-only", folder.Path() / "ro" / "out.zip", {}, ZIP_OPEN_FAILED},
        {"archive on a full disk", folder.Path() / "full" / "out.zip", {}, ZIP_WRITE_FAILED},
        {"work directory full", archive, folder.Path() / "full", ZIP_WRITE_FAILED, "ディスクの空き容量が足りません"},
    };
    for (const auto& c : cases) {
        for (bool move : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (move ? ", move" : ", add"));
            const bool viaView = c.status == ZIP_OPEN_FAILED;
            const fs::path written = viaView ? data / "out.zip" : c.archive;
            fs::remove(written);
            ASSERT_EQ(RunRequest(engine, ::NewRequest(src, written, {"k"}), Answers()).status, ZIP_OK);
            if (viaView && !viewed && !(viewed = readOnly.ReadOnlyView(data))) GTEST_SKIP() << "cannot mount here";
            const std::string before = ReadFile(c.archive);
            Request r = ::NewRequest(src, c.archive, {"big.bin"});
            r.options.move = move;
            r.options.useTempDir = !c.work.empty();
            r.tempDir = Utf8(c.work);
            Outcome out = RunRequest(engine, r, Answers());
            EXPECT_EQ(out.status, c.status) << out.log;
            EXPECT_NE(out.log.find(c.logged), std::string::npos) << out.log;
            if (c.status != ZIP_OK) {
                EXPECT_TRUE(ReadFile(c.archive) == before);
            } else {
                ExpectedArchive want = kOldEntries;
                want["k/noise.bin"] = Expected::File(Noise(400 << 10));
                want["big.bin"] = Expected::File(Noise(700 << 10));
                EXPECT_EQ(ReaderProblems(Utf8(c.archive), want), "");
                EXPECT_FALSE(Exists(c.work));
            }
            EXPECT_EQ(Exists(src / "big.bin"), !move || c.status != ZIP_OK);
            if (!Exists(src / "big.bin")) WriteFile(src / "big.bin", Noise(700 << 10));
            EXPECT_TRUE(Temporaries(folder.Path()).empty());
        }
    }
}

// A file that grows, shrinks or empties just before the engine reads it:
// stored as read, or reported and left out; one that does so while the
// engine reads it (the heartbeat polls at every piece read): reported and
// left out, the old archive's entry of it kept, and the run not a success.
// In move mode never deleted unless the archive holds what it holds now.
TEST_F(HostileInputTest, FileChangesWhileRead) {
    EngineLibrary polling{ZIP32_FAULTS_LIBRARY};
    auto setInterval = reinterpret_cast<void (*)(unsigned)>(polling.Symbol("ZpTestSetHeartbeatInterval"));
    ASSERT_TRUE(setInterval);
    setInterval(0);
    const fs::path big = src / "g" / "big.bin";
    constexpr std::uint64_t kSize = 6 << 20;  // past the size that is compressed ahead
    struct Case {
        const char* name;
        std::uint64_t newSize;
        bool whileRead;  // at the entry's second poll, after it was opened; else at its first, before
    };
    const Case cases[] = {{"grows", kSize + (1 << 20), false},
                          {"shrinks", 1 << 20, false},
                          {"empties", 0, false},
                          {"grows past the block size", 3 * kSize, false},
                          {"grows while read", kSize + (1 << 20), true},
                          {"shrinks while read", 1 << 20, true}};
    for (const auto& [name, newSize, whileRead] : cases) {
        for (bool move : {false, true}) {
            SCOPED_TRACE(std::string(name) + (move ? ", move" : ", add"));
            fs::remove(archive);
            WriteFile(big, "old");
            ASSERT_EQ(RunRequest(engine, NewRequest({"g/big.bin"}), Answers()).status, ZIP_OK);
            WriteFile(big, std::string(kSize, '\0'));
            Answers answers;
            int polls = 0;
            answers.onService = [&, newSize = newSize, whileRead = whileRead](const std::string& entry) {
                if (entry == "g/big.bin" && ++polls == (whileRead ? 2 : 1)) fs::resize_file(big, newSize);
            };
            Request r = NewRequest({"g"});
            r.options.move = move;
            Outcome out = RunRequest(polling, r, answers);
            // Move keeps a file that is no longer as it was found (DELETE_FAILED).
            EXPECT_TRUE(out.status == ZIP_OK || out.status == ZIP_PARTIAL || (move && out.status == ZIP_DELETE_FAILED))
                << out.log;
            ExpectedArchive want{{"g/", Expected::Dir()}};
            bool left = out.log.find("エラー: g/big.bin は読み込み中に") != std::string::npos ||
                        out.log.find("エラー: g/big.bin を読み込めません") != std::string::npos;
            EXPECT_TRUE(left || !whileRead) << out.log;
            EXPECT_TRUE(!left || out.status != ZIP_OK) << out.log;
            want["g/big.bin"] = left ? Expected::File("old") : Expected::Zeros(newSize);
            EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << out.log;
            if (left || !move) {
                EXPECT_TRUE(Exists(big) && fs::file_size(big) == newSize);
            }
            EXPECT_TRUE(Temporaries(folder.Path()).empty());
        }
    }
}

// Rewritten after it was stored, in its size or in its time only: kept.
TEST_F(HostileInputTest, MoveKeepsAFileChangedAfterItWasStored) {
    constexpr std::uint64_t kSize = 5 << 20;
    for (std::uint64_t newSize : {kSize + 100, kSize}) {
        SCOPED_TRACE(newSize);
        fs::remove(archive);
        WriteFile(src / "g" / "a.bin", std::string(kSize, '\0'));
        WriteFile(src / "g" / "b.bin", std::string(kSize, '\0'));
        Touch(src / "g" / "a.bin", -100);
        Answers answers;
        answers.onService = [&](const std::string& entry) {
            if (entry != "g/b.bin" || fs::file_size(src / "g" / "a.bin") != kSize) return;
            WriteFile(src / "g" / "a.bin", std::string(newSize, 'x'));
        };
        Request r = NewRequest({"g"});
        r.options.move = 1;
        Outcome out = RunRequest(engine, r, answers);
        EXPECT_EQ(out.status, ZIP_DELETE_FAILED) << out.log;
        EXPECT_EQ(ReaderProblems(Utf8(archive), {{"g/", Expected::Dir()}, {"g/a.bin", Expected::Zeros(kSize)},
                                                 {"g/b.bin", Expected::Zeros(kSize)}}), "");
        EXPECT_TRUE(Exists(src / "g" / "a.bin")) << "deleted although the archive holds an older content\n" << out.log;
        EXPECT_FALSE(Exists(src / "g" / "b.bin"));
    }
}

// Every kind of character a Windows file name may hold, stored and read back
// by the three readers: ASCII punctuation (with the pattern characters '['
// and ']' inside a folder taken whole), code page 932 with half-width kana
// and a 0x5C trail byte, Greek and Cyrillic from code page 932, characters
// outside it, a surrogate pair, a trailing dot and space,
// and a component of 250 characters.
TEST_F(HostileInputTest, NamesOfEveryKind) {
    const std::string names[] = {
        " !#$%&'()+,;=@[]^_`{}~.txt", "日本語ｶﾅ.txt", "表示.txt", "Ελληνικά Кириллица.txt", "한국어 ä ß.txt",
        "emoji 😀.txt", "trailing dot.", "trailing space ", std::string(250, 'x'),
    };
    ExpectedArchive want{{"n/", Expected::Dir()}};
    for (const std::string& name : names) {
        WriteFile(src / "n" / fs::u8path(name), "content of " + name);
        want["n/" + name] = Expected::File("content of " + name);
    }
    Outcome out = RunRequest(engine, NewRequest({"n"}), Answers());
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << out.log;
}

// A tree deeper than a path may be long (made through folder handles): what
// lies within reach is archived, the rest reported, nothing crashes.
TEST_F(HostileInputTest, PathLongerThanTheSystemAllows) {
    WriteFile(src / "deep" / "top.txt", "top");
    ExpectedArchive want{{"deep/", Expected::Dir()}, {"deep/top.txt", Expected::File("top")}};
    std::string absolute = Utf8(src / "deep"), relative = "deep";
    int fd = open(absolute.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    // 40 folders of 200 characters: 8,000 characters, twice PATH_MAX.
    for (int i = 0; i < 40; ++i) {
        std::string part = std::to_string(i) + std::string(200 - std::to_string(i).size(), 'd');
        ASSERT_EQ(mkdirat(fd, part.c_str(), 0755), 0);
        int child = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = child;
        // A folder is found when its parent can be listed.
        if (absolute.size() < PATH_MAX) want[relative + "/" + part + "/"] = Expected::Dir();
        absolute += "/" + part;
        relative += "/" + part;
    }
    int file = openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(file, "bottom", 6), 6);
    close(file);
    close(fd);
    Outcome out = RunRequest(engine, NewRequest({"deep"}), Answers());
    EXPECT_EQ(out.status, ZIP_PARTIAL) << out.log.substr(0, 3000);
    EXPECT_NE(out.log.find("エラー"), std::string::npos);
    EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << out.log.substr(0, 3000);
    EXPECT_TRUE(Temporaries(folder.Path()).empty());
    EXPECT_EQ(std::system(("rm -rf '" + Utf8(src / "deep") + "'").c_str()), 0);  // beyond what std::filesystem removes
}

// A folder of many files, each named in one move request: once the folder
// was listed for every name, minutes instead of seconds. RELIABILITY_MANY_FILES
// sets the count (scripts/reliability-long.sh: 100,000).
TEST_F(HostileInputTest, FolderWithVeryManyFiles) {
    const int count = IntFromEnvironment("RELIABILITY_MANY_FILES", 10000);
    std::vector<std::string> names;
    ExpectedArchive want;
    for (int i = 0; i < count; ++i) {
        names.push_back("many/f" + std::to_string(i) + ".txt");
        WriteFile(src / names.back(), names.back());
        want[names.back()] = Expected::File(names.back());
    }
    Request r = NewRequest(names);
    r.options.move = 1;
    auto start = std::chrono::steady_clock::now();
    Outcome out = RunRequest(engine, r, Answers());
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(out.status, ZIP_OK) << out.log.substr(0, 2000);
    EXPECT_LT(seconds.count(), 60 * std::max(1, count / 10000));
    EXPECT_EQ(ReaderProblems(Utf8(archive), want), "");
    EXPECT_TRUE(fs::is_empty(src / "many"));
    std::cout << "[ FIGURES  ] " << count << " files in one folder moved in " << seconds.count() << " s\n";
}

}  // namespace
