// The stores that keep a run's bookkeeping within its memory budget: what
// comes back from a scratch file must be what went in, in the promised
// order, however the records were split into runs and merged.
#include "record_store.h"
#include "update_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

class RecordStoreTest : public ::testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() / ("tirvo-records-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override {
        SetRecordBudget(2 << 20);
        fs::remove_all(folder);
    }
};

// Records of every length around the chunk sizes, with many equal keys.
std::vector<std::pair<std::string, std::string>> Records(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<std::string, std::string>> records;
    for (std::size_t i = 0; i < count; ++i) {
        std::string key(random() % 4, 'k');
        key += std::to_string(random() % 300);
        if (random() % 50 == 0) key += std::string(1, '\0') + "after a nul";
        std::string payload = std::to_string(i) + std::string(random() % 97 == 0 ? 40000 : random() % 200, 'p');
        records.emplace_back(key, payload);
    }
    return records;
}

TEST_F(RecordStoreTest, SorterKeepsAddOrderAmongEqualKeysWhetherInMemoryOrMergedInPasses) {
    // In memory; a few runs merged at once; thousands of runs merged in passes.
    for (std::size_t budget : {std::size_t(64) << 20, std::size_t(256) << 10, std::size_t(64)}) {
        SCOPED_TRACE("budget " + std::to_string(budget));
        SetRecordBudget(budget);
        auto records = Records(6000, static_cast<unsigned>(budget));
        RecordSorter sorter(folder.native());
        for (const auto& [key, payload] : records) sorter.Add(key, payload);
        sorter.Sort();
        auto expected = records;
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string_view key, payload;
        std::size_t n = 0;
        for (; sorter.Next(key, payload); ++n) {
            ASSERT_LT(n, expected.size());
            ASSERT_EQ(key, expected[n].first) << "record " << n;
            ASSERT_EQ(payload, expected[n].second) << "record " << n;
        }
        EXPECT_EQ(n, expected.size());
        EXPECT_TRUE(fs::is_empty(folder)) << "a scratch file is visible while in use";
    }
}

TEST_F(RecordStoreTest, SpoolGivesRecordsBackInOrderOnEveryRead) {
    for (std::size_t budget : {std::size_t(64) << 20, std::size_t(64)}) {
        SetRecordBudget(budget);
        auto records = Records(3000, 7);
        records.emplace_back("", "");  // an empty record is a record
        RecordSpool spool(folder.native());
        for (const auto& record : records) spool.Add(record.second);
        EXPECT_EQ(spool.Count(), records.size());
        for (int pass = 0; pass < 2; ++pass) {
            RecordSpool::Reader reader = spool.Read();
            std::string_view record;
            std::size_t n = 0;
            for (; reader.Next(record); ++n) ASSERT_EQ(record, records[n].second) << "pass " << pass << " record " << n;
            EXPECT_EQ(n, records.size());
        }
    }
}

TEST_F(RecordStoreTest, FieldsComeBackAsWrittenAndATooShortRecordIsAnError) {
    platform::Path path = platform::FromUtf8("C:/フォルダー/名前.txt");
    std::string record = RecordOut().U8(0xFE).U32(0xDEADBEEF).U64(~0ull).I64(-5).Str(std::string("a\0b", 3)).Path(path).Data();
    RecordIn in(record);
    EXPECT_EQ(in.U8(), 0xFE);
    EXPECT_EQ(in.U32(), 0xDEADBEEFu);
    EXPECT_EQ(in.U64(), ~0ull);
    EXPECT_EQ(in.I64(), -5);
    EXPECT_EQ(in.Str(), std::string("a\0b", 3));
    EXPECT_EQ(in.Path(), path);
    EXPECT_THROW(in.U8(), ScratchError);
    EXPECT_EQ(KeyNumber(NumberKey(0x0102030405060708ull)), 0x0102030405060708ull);
    EXPECT_LT(NumberKey(255), NumberKey(256));

    // An old entry kept through its plan record: every field back as it was.
    PlannedEntry kept;
    ExistingEntry& old = kept.old;
    old.storedName = "n\x81\x5C";
    old.name = "名";
    old.versionMadeBy = 0x0314;
    old.versionNeeded = 45;
    old.flags = 0x0809;
    old.method = 8;
    old.time = {0x1234, 0x5678};
    old.crc = 0xCAFEBABE;
    old.compressedSize = (1ull << 33) + 3;
    old.size = (1ull << 34) + 1;
    old.internalAttributes = 1;
    old.externalAttributes = 0x81A40020;
    old.centralExtra = std::string("UT\x05\0\x01", 5);
    old.comment = "c";
    old.localOffset = (1ull << 32) + 7;
    old.recordSize = 99;
    auto fields = [](const ExistingEntry& e) {
        return std::tuple(e.storedName, e.name, e.versionMadeBy, e.versionNeeded, e.flags, e.method, e.time.Packed(),
                          e.crc, e.compressedSize, e.size, e.internalAttributes, e.externalAttributes, e.centralExtra,
                          e.comment, e.localOffset, e.recordSize);
    };
    EXPECT_EQ(fields(DecodePlannedEntry(EncodePlannedEntry(kept)).old), fields(old));
}

TEST_F(RecordStoreTest, ScratchFileThatCannotBeMadeIsAnErrorNotALoss) {
    SetRecordBudget(64);
    RecordSpool spool((folder / "missing").native());
    EXPECT_THROW(for (int i = 0; i < 10; ++i) spool.Add("record"), ScratchError);
}

}  // namespace
