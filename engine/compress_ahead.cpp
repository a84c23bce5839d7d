#include "compress_ahead.h"

#include <algorithm>

namespace {

constexpr std::uint64_t kSmallFile = 4 << 20;
constexpr std::uint64_t kAheadBudget = 32 << 20;

// A batch holds up to kBatchFiles files or kBatchBytes bytes.
constexpr std::size_t kBatchFiles = 64;
constexpr std::uint64_t kBatchBytes = 1 << 20;
// Batches queued per worker: enough for the workers to go on while the
// writer's thread is away in a callback (the program's progress window takes
// a fifth of a second to show a large piece of log).
constexpr unsigned kBatchesPerWorker = 16;

// Plan entries read ahead of the one being written: the small files among
// them are handed to the workers.
constexpr std::size_t kPlanAhead = 4096;

class StringSink : public ByteSink {
public:
    bool Write(std::string_view bytes) override {
        data.append(bytes);
        return true;
    }
    bool Discard() override {
        data.clear();
        return true;
    }
    std::string data;
};

// On a worker thread: touches nothing but the file and its own result.
Prepared CompressSmallFile(const FileInput& input, const FoundItem& item, DeflaterCache& cache) {
    Prepared prepared;
    platform::File file;
    prepared.opened = FileInput::Open(item, file, prepared.item, prepared.error);
    if (!prepared.opened) return prepared;
    StringSink sink;
    CompressSettings settings = input.SettingsFor(prepared.item);
    settings.cache = &cache;
    prepared.outcome = FileInput::Checked(CompressEntry(file, settings, sink, prepared.result, prepared.error), file,
                                          prepared.item);
    prepared.data = std::move(sink.data);
    return prepared;
}

}  // namespace

const PlannedEntry* CompressAhead::Next(const Prepared*& prepared) {
    prepared = nullptr;
    if (started_) {
        // The entry handed out last is done with.
        if (!ahead_.empty() && ahead_.front().first <= position_ &&
            position_ + 1 == ahead_.front().first + ahead_.front().count) {
            bytesAhead_ -= ahead_.front().bytes;
            ahead_.pop_front();
            ready_.clear();
        }
        window_.pop_front();
        ++position_;
    }
    started_ = true;
    heartbeat_.Beat();
    for (std::string_view record; window_.size() < kPlanAhead && plan_.Next(record);)
        window_.push_back(DecodePlannedEntry(record));
    if (window_.empty()) return nullptr;
    Submit();
    if (!ahead_.empty() && ahead_.front().first <= position_) {
        Batch& batch = ahead_.front();
        if (ready_.empty()) ready_ = heartbeat_.Await(batch.results);
        prepared = &ready_[position_ - batch.first];
    }
    return &window_.front();
}

// Hands the workers what the window and the budget allow.
void CompressAhead::Submit() {
    std::uint64_t end = position_ + window_.size();
    while (nextAhead_ < end && bytesAhead_ < kAheadBudget &&
           ahead_.size() <= kBatchesPerWorker * std::max(1u, pool_.Threads())) {
        if (nextAhead_ < position_ || !IsSmallFile(window_[nextAhead_ - position_])) {
            ++nextAhead_;
            continue;
        }
        ahead_.push_back(NextBatch());
        bytesAhead_ += ahead_.back().bytes;
    }
}

// Takes the small files from nextAhead_ on, up to a batch's limits and
// without going past the budget, and submits them as one job.
CompressAhead::Batch CompressAhead::NextBatch() {
    Batch batch;
    batch.first = nextAhead_;
    std::vector<FoundItem> items;
    while (nextAhead_ < position_ + window_.size() && IsSmallFile(window_[nextAhead_ - position_]) &&
           items.size() < kBatchFiles && batch.bytes < kBatchBytes && bytesAhead_ + batch.bytes < kAheadBudget) {
        items.push_back(window_[nextAhead_ - position_].item);
        batch.bytes += input_->InFlightSize(items.back());
        ++nextAhead_;
    }
    batch.count = items.size();
    batch.results = pool_.Submit([input = input_, stopping = pool_.Stopping(), items = std::move(items)]() {
        DeflaterCache cache;
        std::vector<Prepared> results;
        for (const FoundItem& item : items) {
            if (*stopping) break;  // the run ends: nobody reads the results
            results.push_back(CompressSmallFile(*input, item, cache));
        }
        return results;
    });
    return batch;
}

bool CompressAhead::IsSmallFile(const PlannedEntry& entry) const {
    if (entry.source != PlannedEntry::Source::File) return false;
    const platform::FileInfo& info = entry.item.info;
    return !info.isDirectory && info.size <= kSmallFile;
}
