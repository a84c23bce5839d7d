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

// In memory, a few runs merged at once, thousands merged in passes: records of every length around the chunk
// sizes come back from the spool on every read, from the sorter by key, equal keys in the order added.
TEST_F(RecordStoreTest, RecordsComeBackInOrderWhetherInMemoryOrMergedInPasses) {
    for (std::size_t budget : {std::size_t(64) << 20, std::size_t(256) << 10, std::size_t(64)}) {
        SCOPED_TRACE("budget " + std::to_string(budget));
        SetRecordBudget(budget);
        std::mt19937 random(static_cast<unsigned>(budget));
        std::vector<std::pair<std::string, std::string>> records{{"", ""}};  // an empty record is a record
        for (std::size_t i = 0; i < 6000; ++i) {
            std::string key = std::string(random() % 4, 'k') + std::to_string(random() % 300);
            if (random() % 50 == 0) key += std::string(1, '\0') + "after a nul";
            records.emplace_back(key, std::to_string(i) + std::string(random() % 97 == 0 ? 40000 : random() % 200, 'p'));
        }
        RecordSorter sorter(folder.native());
        RecordSpool spool(folder.native());
        for (const auto& [key, payload] : records) sorter.Add(key, payload), spool.Add(payload);
        sorter.Sort();
        EXPECT_TRUE(fs::is_empty(folder)) << "a scratch file is visible while in use";
        EXPECT_EQ(spool.Count(), records.size());
        auto payloadIs = [](std::string_view read, const auto& record) { return read == record.second; };
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<std::string> read;
            RecordSpool::Reader reader = spool.Read();
            for (std::string_view record; reader.Next(record);) read.emplace_back(record);
            EXPECT_TRUE(std::equal(read.begin(), read.end(), records.begin(), records.end(), payloadIs)) << pass;
        }
        std::vector<std::pair<std::string, std::string>> sorted;
        for (std::string_view key, payload; sorter.Next(key, payload);) sorted.emplace_back(key, payload);
        std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        EXPECT_TRUE(sorted == records);
    }
}

// An old entry kept through its plan record comes back with every field at its full width; a record read past
// its end is an error, not a loss.
TEST_F(RecordStoreTest, FieldsComeBackAsWrittenAndWhatCannotBeReadIsAnError) {
    PlannedEntry kept;
    kept.old = {{"n\x81\x5C", 0x0314, 45, 0x0809, 8, {0x1234, 0x5678}, 0xCAFEBABE, (1ull << 33) + 3, (1ull << 34) + 1, 1,
                 0x81A40020, std::string("UT\x05\0\x01", 5), "c", (1ull << 32) + 7}, "名", 99};
    auto fields = [](const ExistingEntry& e) {
        return std::tuple(e.storedName, e.name, e.versionMadeBy, e.versionNeeded, e.flags, e.method, e.time.Packed(),
                          e.crc, e.compressedSize, e.size, e.internalAttributes, e.externalAttributes, e.centralExtra,
                          e.comment, e.localOffset, e.recordSize);
    };
    const std::string record = EncodePlannedEntry(kept);
    EXPECT_EQ(fields(DecodePlannedEntry(record).old), fields(kept.old));
    EXPECT_THROW(DecodePlannedEntry(std::string_view(record).substr(0, record.size() - 1)), ScratchError);
}

}  // namespace
