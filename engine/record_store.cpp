#include "record_store.h"

#include "temp_archive.h"
#include "zip_format.h"

#include <algorithm>
#include <atomic>

using zipfmt::Get32;
using zipfmt::Append32;

namespace {

std::atomic<std::size_t> budget{2 << 20};

// Runs merged at once; more are merged in passes first.
constexpr std::size_t kFanIn = 64;
constexpr std::size_t kMinChunk = 4 << 10;

std::size_t ChunkSize() { return std::max(kMinChunk, RecordBudget() / kFanIn); }

// Records are framed by their length.
void Frame(std::string& out, std::string_view body) {
    Append32(out, static_cast<std::uint32_t>(body.size()));
    out.append(body);
}

std::uint32_t FramedLength(const char* at) { return Get32(reinterpret_cast<const unsigned char*>(at)); }

// The record framed at offset at of buffer, without its length.
std::string_view FramedAt(const std::string& buffer, std::size_t at) {
    return std::string_view(buffer.data() + at + 4, FramedLength(buffer.data() + at));
}

// A sorter's record: the key's length, the key, the payload.
std::string_view KeyOf(std::string_view record) { return record.substr(4, FramedLength(record.data())); }

std::string_view PayloadOf(std::string_view record) { return record.substr(4 + KeyOf(record).size()); }

}  // namespace

std::size_t RecordBudget() { return budget; }
void SetRecordBudget(std::size_t bytes) { budget = std::max<std::size_t>(bytes, 64); }

std::string NumberKey(std::uint64_t n) {
    std::string key(8, '\0');
    for (int i = 7; i >= 0; --i, n >>= 8) key[static_cast<std::size_t>(i)] = static_cast<char>(n & 0xFF);
    return key;
}

std::uint64_t KeyNumber(std::string_view key) {
    std::uint64_t n = 0;
    for (char c : key) n = n << 8 | static_cast<unsigned char>(c);
    return n;
}

// --- scratch file -----------------------------------------------------------

void ScratchFile::Append(std::string_view bytes) {
    platform::Error error;
    if (!file_.IsOpen() && !CreateScratchFile(folder_, file_, error)) throw ScratchError(error);
    if (filePosition_ != size_ && !file_.Seek(size_, error)) throw ScratchError(error);
    if (!file_.Write(bytes.data(), bytes.size(), error)) throw ScratchError(error);
    size_ += bytes.size();
    filePosition_ = size_;
}

void ScratchFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
    platform::Error error;
    std::size_t got = 0;
    if (!file_.Seek(offset, error) || !file_.Read(buffer, size, got, error)) throw ScratchError(error);
    filePosition_ = offset + got;
    if (got != size) throw ScratchError(platform::Error{platform::ErrorKind::Other, 0});
}

ScratchReader::ScratchReader(ScratchFile& file, std::uint64_t begin, std::uint64_t end, std::size_t chunk)
    : file_(file), next_(begin), end_(end), chunk_(chunk) {}

bool ScratchReader::Next(std::string_view& record) {
    auto fill = [&](std::size_t need) {
        if (buffer_.size() - at_ >= need) return true;
        buffer_.erase(0, at_);
        at_ = 0;
        std::size_t want = std::max(need - buffer_.size(), chunk_);
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want, end_ - next_));
        if (n == 0) return false;
        std::size_t had = buffer_.size();
        buffer_.resize(had + n);
        file_.ReadAt(next_, buffer_.data() + had, n);
        next_ += n;
        return buffer_.size() >= need;
    };
    if (!fill(4)) return false;
    std::size_t length = FramedLength(buffer_.data() + at_);
    if (!fill(4 + length)) throw ScratchError(platform::Error{platform::ErrorKind::Other, 0});
    record = std::string_view(buffer_.data() + at_ + 4, length);
    at_ += 4 + length;
    return true;
}

// --- spool ------------------------------------------------------------------

void RecordSpool::Add(std::string_view record) {
    Frame(memory_, record);
    ++count_;
    if (memory_.size() >= RecordBudget()) {
        file_.Append(memory_);
        memory_.clear();
    }
}

RecordSpool::Reader::Reader(RecordSpool& spool) : spool_(spool) {
    if (spool.file_.Size() > 0)
        file_ = std::make_unique<ScratchReader>(spool.file_, 0, spool.file_.Size(), ChunkSize());
}

bool RecordSpool::Reader::Next(std::string_view& record) {
    if (file_ && file_->Next(record)) return true;
    if (memoryAt_ >= spool_.memory_.size()) return false;
    record = FramedAt(spool_.memory_, memoryAt_);
    memoryAt_ += 4 + record.size();
    return true;
}

// --- sorter -----------------------------------------------------------------

// The runs being merged: each run's current record, the smallest first.
struct RecordSorter::Merge {
    std::vector<std::unique_ptr<ScratchReader>> readers;
    std::vector<std::string_view> current;
    std::vector<std::size_t> heap;  // run indices; ties go to the earlier run

    bool Less(std::size_t a, std::size_t b) const {
        int c = KeyOf(current[a]).compare(KeyOf(current[b]));
        return c != 0 ? c < 0 : a < b;
    }
    void Push(std::size_t run) {
        heap.push_back(run);
        std::push_heap(heap.begin(), heap.end(), [this](std::size_t a, std::size_t b) { return Less(b, a); });
    }
    bool Pop(std::string_view& record) {
        if (heap.empty()) return false;
        std::pop_heap(heap.begin(), heap.end(), [this](std::size_t a, std::size_t b) { return Less(b, a); });
        std::size_t run = heap.back();
        heap.pop_back();
        // The record stays valid: the run's reader keeps it until its next read,
        // which happens on the following Pop.
        record = current[run];
        pending = run;
        return true;
    }
    // Advances the run whose record was given out last.
    void Advance() {
        if (pending == SIZE_MAX) return;
        std::size_t run = pending;
        pending = SIZE_MAX;
        if (readers[run]->Next(current[run])) Push(run);
    }
    std::size_t pending = SIZE_MAX;
};

RecordSorter::RecordSorter(const platform::Path& folder) : file_(folder) {}
RecordSorter::~RecordSorter() = default;

void RecordSorter::Add(std::string_view key, std::string_view payload) {
    order_.push_back(static_cast<std::uint32_t>(memory_.size()));
    Append32(memory_, static_cast<std::uint32_t>(4 + key.size() + payload.size()));
    Append32(memory_, static_cast<std::uint32_t>(key.size()));
    memory_.append(key);
    memory_.append(payload);
    if (memory_.size() + order_.size() * sizeof(std::uint32_t) >= RecordBudget()) SpillRun();
}

void RecordSorter::Seal() {
    if (!runs_.empty() && !order_.empty()) SpillRun();
}

void RecordSorter::SortMemory() {
    std::stable_sort(order_.begin(), order_.end(), [this](std::uint32_t a, std::uint32_t b) {
        return KeyOf(FramedAt(memory_, a)) < KeyOf(FramedAt(memory_, b));
    });
}

void RecordSorter::SpillRun() {
    SortMemory();
    std::string run;
    Run placed{file_.Size(), 0};
    for (std::uint32_t at : order_) {
        run.append(memory_, at, 4 + FramedLength(memory_.data() + at));
        if (run.size() >= ChunkSize()) {
            file_.Append(run);
            run.clear();
        }
    }
    file_.Append(run);
    placed.end = file_.Size();
    runs_.push_back(placed);
    memory_.clear();
    memory_.shrink_to_fit();
    order_.clear();
    order_.shrink_to_fit();
}

RecordSorter::Run RecordSorter::MergeRuns(std::vector<Run> runs, bool toFile, Heartbeat* heartbeat) {
    auto merge = std::make_unique<Merge>();
    merge->current.resize(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        merge->readers.push_back(std::make_unique<ScratchReader>(file_, runs[i].begin, runs[i].end, ChunkSize()));
        if (merge->readers[i]->Next(merge->current[i])) merge->Push(i);
    }
    if (!toFile) {
        merge_ = std::move(merge);
        return {};
    }
    Run merged{file_.Size(), 0};
    std::string out;
    std::string_view record;
    while (merge->Pop(record)) {
        Beat(heartbeat);
        Frame(out, record);
        merge->Advance();
        if (out.size() >= ChunkSize()) {
            file_.Append(out);
            out.clear();
        }
    }
    file_.Append(out);
    merged.end = file_.Size();
    return merged;
}

void RecordSorter::Sort(Heartbeat* heartbeat) {
    if (runs_.empty()) {
        SortMemory();
        return;
    }
    if (!order_.empty()) SpillRun();
    // Too many runs are merged in passes, kFanIn neighbours into one; a
    // merged run takes its runs' place, so equal keys keep their order.
    while (runs_.size() > kFanIn) {
        std::vector<Run> merged;
        for (std::size_t at = 0; at < runs_.size(); at += kFanIn) {
            std::vector<Run> group(runs_.begin() + at, runs_.begin() + std::min(runs_.size(), at + kFanIn));
            merged.push_back(group.size() == 1 ? group.front() : MergeRuns(group, true, heartbeat));
        }
        runs_ = std::move(merged);
    }
    MergeRuns(runs_, false, heartbeat);
}

bool RecordSorter::Next(std::string_view& key, std::string_view& payload) {
    std::string_view record;
    if (merge_) {
        merge_->Advance();
        if (!merge_->Pop(record)) return false;
    } else {
        if (next_ >= order_.size()) return false;
        record = FramedAt(memory_, order_[next_++]);
    }
    key = KeyOf(record);
    payload = PayloadOf(record);
    return true;
}
