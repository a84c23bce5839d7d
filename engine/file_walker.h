// Finds the files and folders that the request's name patterns select
// below the root directory. A pattern naming a folder takes its whole tree.
// Links and junctions are reported and never followed; devices, pipes and
// sockets are reported and never read.
#pragma once

#include "heartbeat.h"
#include "platform.h"
#include "record_store.h"

#include <string>
#include <vector>

struct FoundItem {
    platform::Path path;      // full path
    std::string relative;     // UTF-8, '/'-separated, from the root (short names when asked)
    platform::FileInfo info;  // info.name is not kept: path ends with it
};

std::string EncodeFoundItem(const FoundItem& item);
FoundItem DecodeFoundItem(std::string_view record);

struct WalkOptions {
    bool systemFiles = false;   // take hidden and system files and folders too
    bool shortNames = false;    // relative names from 8.3 names
    bool ignoreCase = false;    // patterns match regardless of case, as Windows compares names
    platform::Path exclude;     // the archive itself
    platform::Path scratch;     // where a folder of very many entries is sorted
    Heartbeat* heartbeat = nullptr;  // beaten by the walk at every entry and while it waits
};

struct WalkProblem {
    std::string relative;       // what could not be walked
    platform::Error error;
};

// A skipped item's record: one of these, then its relative name.
constexpr char kSkippedLink = 'L';
constexpr char kSkippedDevice = 'D';

struct WalkResult {
    explicit WalkResult(const platform::Path& scratch) : items(scratch), skipped(scratch) {}
    RecordSpool items;                    // FoundItem records in walk order; twice where patterns overlap
    RecordSpool skipped;                  // links and devices passed over, as kSkipped* records
    std::vector<WalkProblem> problems;    // folders that could not be listed
    std::vector<std::string> badPatterns; // patterns that leave the root ("..")
    std::vector<std::string> unmatched;   // patterns that matched nothing
    std::vector<std::string> archiveItself; // patterns that matched only the archive
};

// patterns are UTF-8; both '/' and '\' separate components.
void WalkPatterns(const platform::Path& root, const std::vector<std::string>& patterns, const WalkOptions& options,
                  WalkResult& result);
