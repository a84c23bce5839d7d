// The plan read ahead of the writer, and its small files compressed ahead
// on the workers.
//
// Files up to kSmallFile bytes are read whole and compressed in memory on
// the workers, neighbouring ones in batches (every job, future and wake-up
// costs system calls, under Wine round trips to the wine server, that would
// otherwise cost more than reading and compressing a small file), at most
// kAheadBudget bytes of them in flight. The writer still takes every entry
// in plan order, so the archive does not depend on the timing.
#pragma once

#include "entry_compressor.h"
#include "file_input.h"
#include "heartbeat.h"
#include "record_store.h"
#include "update_plan.h"
#include "worker_pool.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// A small file as a worker compressed it.
struct Prepared {
    bool opened = false;
    FoundItem item;  // with the size and time of the open file
    CompressResult outcome = CompressResult::ReadFailed;
    CompressedEntry result;
    std::string data;
    platform::Error error;
};

class CompressAhead {
public:
    CompressAhead(RecordSpool& plan, std::shared_ptr<const FileInput> input, WorkerPool& pool, Heartbeat& heartbeat)
        : plan_(plan.Read()), input_(std::move(input)), pool_(pool), heartbeat_(heartbeat) {}

    // The next plan entry, or null after the last. prepared is what a worker
    // made of it, or null when the writer is to take the entry itself. Both
    // stay valid until the next call.
    const PlannedEntry* Next(const Prepared*& prepared);

private:
    // Small files of consecutive plan entries, compressed in one job.
    struct Batch {
        std::uint64_t first = 0;  // plan position of the first of them
        std::size_t count = 0;
        std::uint64_t bytes = 0;
        JobResult<std::vector<Prepared>> results;
    };

    void Submit();
    Batch NextBatch();
    bool IsSmallFile(const PlannedEntry& entry) const;

    RecordSpool::Reader plan_;
    std::shared_ptr<const FileInput> input_;
    WorkerPool& pool_;
    Heartbeat& heartbeat_;
    bool started_ = false;
    std::uint64_t position_ = 0;       // plan position of window_.front()
    std::deque<PlannedEntry> window_;  // plan entries from position_ on
    std::deque<Batch> ahead_;          // in plan order
    std::vector<Prepared> ready_;      // the results of ahead_.front(), once taken
    std::uint64_t nextAhead_ = 0;      // the first plan position not yet looked at for a batch
    std::uint64_t bytesAhead_ = 0;
};
