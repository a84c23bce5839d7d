// Hostile and unusual input, archives, places and trees: the engine refuses
// cleanly (old archive byte for byte, no temporary file) or writes an archive
// all three readers accept.
#include "engine_client.h"
#include "expected_archive.h"
#include "mount.h"
#include "reader_check.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <iostream>
#include <tuple>

namespace {

std::uint64_t Get(const std::string& bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// A field of an archive made to lie: width bytes at offset at, raised ('+') or lowered ('-') by, or set ('=') to by.
struct Lie {
    const char* what;
    std::size_t at;
    int width;
    char op;
    std::uint64_t by;
};

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

    // Adds n.txt to the archive at `at`, which holds `before`: refused cleanly (the file as it was, the reason
    // in the log, no temporary file), or accepted with the old entries and n.txt. Tells which.
    bool AddNew(const fs::path& at, const std::string& before, const ExpectedArchive& old, const fs::path& work = {},
                const char* reason = "エラー") const {
        SCOPED_TRACE("adding to " + Utf8(at) + " through " + Utf8(work));
        Request r = NewRequest(src, at, {"n.txt"});
        r.options.useTempDir = !work.empty();
        r.tempDir = Utf8(work);
        const Outcome out = RunRequest(engine, r, {});
        EXPECT_TRUE(Temporaries(folder.Path()).empty());
        if (out.status != ZIP_OK) {
            EXPECT_TRUE(ReadFile(at) == before) << "refused (" << out.status << ") but changed the file";
            EXPECT_NE(out.log.find(reason), std::string::npos) << out.log;
            return false;
        }
        ExpectedArchive want = old;
        want["n.txt"] = Expected::File("new file");
        EXPECT_EQ(ReaderProblems(Utf8(at), want), "") << "accepted, but wrote a bad archive\n" << out.log;
        return true;
    }
};

// Adding n.txt to an archive cut at every length, or with a field of its central directory made to lie within the
// file (bytes out of bounds, Zip64 records: the fuzz target; files that are no archive: the failed runs of
// EngineTest): refused cleanly, or, where the lie does not matter, accepted with every old entry intact.
TEST_F(HostileInputTest, DamagedArchivesAreRefusedOrKeptWhole) {
    Request request = NewRequest(src, archive, {"k"});
    request.options.comment = 1;
    Answers answers;
    answers.comment = "comment";
    ASSERT_EQ(RunRequest(engine, request, answers).status, ZIP_OK);
    const std::string valid = ReadFile(archive);
    std::vector<std::tuple<std::string, std::string, const ExpectedArchive*>> damaged;  // what, bytes, old entries
    for (std::size_t length = 0; length < valid.size(); ++length)
        damaged.emplace_back("cut at " + std::to_string(length), valid.substr(0, length), &oldEntries);
    auto lie = [&](const std::string& of, const ExpectedArchive& old, std::initializer_list<Lie> lies) {
        for (const Lie& lie : lies) {
            std::string bytes = of;
            const std::uint64_t was = Get(of, lie.at, lie.width);
            const std::uint64_t value = lie.op == '=' ? lie.by : lie.op == '+' ? was + lie.by : was - lie.by;
            for (int i = 0; i < lie.width; ++i) bytes[lie.at + i] = static_cast<char>(value >> (8 * i));
            damaged.emplace_back(lie.what, bytes, &old);
        }
    };
    const std::size_t end = valid.rfind("PK\x05\x06"), central = Get(valid, end + 16, 4);
    // The central header of k/one.txt, the second, and its local header.
    const std::size_t second = central + 46 + Get(valid, central + 28, 2) + Get(valid, central + 30, 2) +
                               Get(valid, central + 32, 2);
    const std::size_t local = Get(valid, second + 42, 4);
    lie(valid, oldEntries, {
        {"entries on this disk + 1", end + 8, 2, '+', 1}, {"entries on this disk - 1", end + 8, 2, '-', 1},
        {"total entries + 1", end + 10, 2, '+', 1}, {"total entries - 1", end + 10, 2, '-', 1},
        {"both counts 0", end + 8, 4, '=', 0}, {"both counts 0xFFFF without Zip64", end + 8, 4, '=', 0xFFFFFFFF},
        {"directory size + 1", end + 12, 4, '+', 1}, {"directory size - 1", end + 12, 4, '-', 1},
        {"directory offset + 1", end + 16, 4, '+', 1}, {"directory offset - 1", end + 16, 4, '-', 1},
        {"compressed size + 1", second + 20, 4, '+', 1}, {"compressed size - 1", second + 20, 4, '-', 1},
        {"uncompressed size + 1", second + 24, 4, '+', 1},
        {"uncompressed size 0xFFFFFFFF without Zip64", second + 24, 4, '=', 0xFFFFFFFF},
        {"CRC wrong", second + 16, 4, '+', 1}, {"local offset + 1", second + 42, 4, '+', 1},
        {"local offset into the directory", second + 42, 4, '=', central},
        {"local header signature", local, 4, '=', 0x02014B50}, {"local name length differs", local + 26, 2, '+', 1},
    });
    int accepted = 0;
    for (const auto& [what, bytes, old] : damaged) {
        SCOPED_TRACE(what);
        WriteFile(archive, bytes);
        accepted += AddNew(archive, bytes, *old);
    }
    std::cout << "[ FIGURES  ] " << damaged.size() << " archives, " << accepted << " accepted\n";
}

// The archive on a full disk (a tmpfs filled up) or a folder in its place, the work directory full: refused. A
// missing work directory puts the temporary beside the archive.
TEST_F(HostileInputTest, PlacesThatCannotBeWritten) {
    const fs::path full = folder.Path() / "full", missing = folder.Path() / "none";
    Mount fullDisk(full);
    if (!fullDisk.Tmpfs("size=1m")) GTEST_SKIP() << "cannot mount here";
    ASSERT_EQ(Run({"k"}).status, ZIP_OK);
    const std::string old = ReadFile(archive);
    WriteFile(full / "out.zip", old);
    WriteFile(full / "filler", std::string(1 << 20, 'f'));  // as much of it as fits
    EXPECT_FALSE(AddNew(full / "out.zip", old, oldEntries));
    EXPECT_FALSE(AddNew(archive, old, oldEntries, full, "ディスクの空き容量が足りません"));
    fs::create_directories(folder.Path() / "dir.zip");
    EXPECT_FALSE(AddNew(folder.Path() / "dir.zip", "", oldEntries, {}, "はフォルダーなので"));
    EXPECT_TRUE(fs::is_empty(folder.Path() / "dir.zip"));
    EXPECT_TRUE(AddNew(archive, old, oldEntries, missing));
    EXPECT_FALSE(Exists(missing));
}

// A file that changes just before it is read: stored as read, or reported and left out; while read (polled at
// every piece): left out, its old entry kept, the run no success; after it was stored, in its size or its time
// only: stored as it was. Move never deletes a file unless the archive holds what it holds now.
TEST_F(HostileInputTest, FileChangesWhileRead) {
    EngineLibrary polling{ZIP32_FAULTS_LIBRARY};
    reinterpret_cast<void (*)(unsigned)>(polling.Symbol("ZpTestSetHeartbeatInterval"))(0);
    const fs::path big = src / "g" / "big.bin";
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
            WriteFile(src / "g" / "next.bin", "next");
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
            EXPECT_TRUE((move && !left && when != kAfterStored) || (Exists(big) && fs::file_size(big) == newSize));
            EXPECT_TRUE(Temporaries(folder.Path()).empty());
        }
    }
}

}  // namespace
