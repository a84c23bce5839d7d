// Per-entry bookkeeping with a fixed memory budget: records kept in memory
// up to the budget and in a scratch file beyond it, so that a run holds the
// same memory for a million entries as for a thousand. RecordSpool gives the
// records back in the order they came; RecordSorter in the order of a key.
#pragma once

#include "heartbeat.h"
#include "platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A scratch file could not be created, written or read. Thrown out of the
// run, which ends as a failed write of the temporary archive.
struct ScratchError : std::runtime_error {
    explicit ScratchError(const platform::Error& e) : std::runtime_error("scratch file"), error(e) {}
    platform::Error error;
};

// Bytes of records held in memory by each store before it spills.
std::size_t RecordBudget();
void SetRecordBudget(std::size_t bytes);  // for tests: a small budget spills at once

// A number as a key that sorts in numeric order (8 bytes, big-endian).
std::string NumberKey(std::uint64_t n);
std::uint64_t KeyNumber(std::string_view key);

// Builds a record field by field, little-endian, strings with their length.
class RecordOut {
public:
    RecordOut& U8(std::uint8_t v);
    RecordOut& U32(std::uint32_t v);
    RecordOut& U64(std::uint64_t v);
    RecordOut& I64(std::int64_t v) { return U64(static_cast<std::uint64_t>(v)); }
    RecordOut& Str(std::string_view s);
    RecordOut& Path(const platform::Path& p);
    const std::string& Data() const { return data_; }

private:
    std::string data_;
};

// Reads the fields back in the order they were written. A record too short
// for its fields can only come from a damaged scratch file: ScratchError.
class RecordIn {
public:
    explicit RecordIn(std::string_view data) : data_(data) {}
    std::uint8_t U8();
    std::uint32_t U32();
    std::uint64_t U64();
    std::int64_t I64() { return static_cast<std::int64_t>(U64()); }
    std::string_view Str();
    platform::Path Path();

private:
    std::string_view Take(std::size_t n);
    std::string_view data_;
};

// A scratch file in a folder, created on the first write, gone when closed.
class ScratchFile {
public:
    explicit ScratchFile(platform::Path folder) : folder_(std::move(folder)) {}
    void Append(std::string_view bytes);
    void ReadAt(std::uint64_t offset, char* buffer, std::size_t size);
    std::uint64_t Size() const { return size_; }

private:
    platform::Path folder_;
    platform::File file_;
    std::uint64_t size_ = 0;
    std::uint64_t filePosition_ = 0;
};

// Records read back from [begin, end) of a scratch file, a chunk at a time.
class ScratchReader {
public:
    ScratchReader(ScratchFile& file, std::uint64_t begin, std::uint64_t end, std::size_t chunk);
    // The next framed record; false at the end. Valid until the next call.
    bool Next(std::string_view& record);

private:
    ScratchFile& file_;
    std::uint64_t next_, end_;
    std::string buffer_;
    std::size_t at_ = 0;
    std::size_t chunk_;
};

class RecordSpool {
public:
    explicit RecordSpool(const platform::Path& folder) : file_(folder) {}
    void Add(std::string_view record);
    std::uint64_t Count() const { return count_; }

    // Reads the records from the first; Add may not be called while one is in use.
    class Reader {
    public:
        bool Next(std::string_view& record);

    private:
        friend class RecordSpool;
        explicit Reader(RecordSpool& spool);
        RecordSpool& spool_;
        std::unique_ptr<ScratchReader> file_;
        std::size_t memoryAt_ = 0;
    };
    Reader Read() { return Reader(*this); }

private:
    ScratchFile file_;
    std::string memory_;  // framed records not yet in the file
    std::uint64_t count_ = 0;
};

// Sorts records by key with the budget: runs sorted in memory go to the
// scratch file and are merged as they are read. Records of equal keys come
// back in the order they were added.
class RecordSorter {
public:
    explicit RecordSorter(const platform::Path& folder);
    ~RecordSorter();
    RecordSorter(const RecordSorter&) = delete;
    RecordSorter& operator=(const RecordSorter&) = delete;

    void Add(std::string_view key, std::string_view payload);
    // Once some records are in the scratch file, puts the rest there too, so
    // that a sorter waiting to be read holds no memory.
    void Seal();

    // Ends adding; then Next gives the records in key order, once. Merging
    // many runs beats the heartbeat, when there is one.
    void Sort(Heartbeat* heartbeat = nullptr);
    bool Next(std::string_view& key, std::string_view& payload);

private:
    struct Run {
        std::uint64_t begin, end;
    };
    struct Merge;
    void SortMemory();
    void SpillRun();
    Run MergeRuns(std::vector<Run> runs, bool toFile, Heartbeat* heartbeat);

    ScratchFile file_;
    std::string memory_;                 // framed records
    std::vector<std::uint32_t> order_;   // their offsets, in key order once sorted
    std::size_t next_ = 0;
    std::vector<Run> runs_;
    std::unique_ptr<Merge> merge_;
};
