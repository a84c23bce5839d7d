// Decides, from the old archive's entries and the files found, what the new
// archive holds: which old entries are copied, which files are added or
// replace an entry, in which order.
#pragma once

#include "archive_reader.h"
#include "file_walker.h"
#include "heartbeat.h"

#include <cstdint>
#include <string>
#include <string_view>

enum class UpdateMode {
    Add,      // add every file, replacing entries of the same name
    Update,   // add new files, replace entries older than their file
    Freshen,  // replace entries older than their file, add nothing
};

struct PlanOptions {
    UpdateMode mode = UpdateMode::Add;
    bool junkDirs = false;        // names without their folders; no folder entries
    bool noDirEntries = false;
    bool onOrAfter = false;       // only items modified on or after dateLimit
    bool before = false;          // only items modified before dateLimit
    std::int64_t dateLimit = 0;
    std::string volumeLabel;      // UTF-8; non-empty: store it as a volume-label entry
    bool ignoreCase = false;      // a name differing from an old entry's only in case is that entry's (Windows)
    Heartbeat* heartbeat = nullptr;  // beaten at every record
};

struct PlannedEntry {
    enum class Source { Existing, File, VolumeLabel };
    Source source = Source::Existing;
    ExistingEntry old;       // Existing: the entry kept; otherwise the entry replaced, if replaces
    bool replaces = false;
    FoundItem item;          // File
    std::string name;        // File and VolumeLabel: the UTF-8 name in the archive
};

std::string EncodePlannedEntry(const PlannedEntry& entry);
PlannedEntry DecodePlannedEntry(std::string_view record);

struct Plan {
    explicit Plan(const platform::Path& scratch) : entries(scratch) {}
    RecordSpool entries;          // PlannedEntry records in the new archive's order
    std::size_t selected = 0;     // items that passed the filters
    std::size_t changes = 0;      // entries to be written from files or the label
    bool readsFiles = false;      // some entry's data comes from a file
};

enum class PlanResult { Ok, NameClash };

// The MS-DOS attribute that marks a volume-label entry.
constexpr std::uint32_t kVolumeLabelAttribute = 0x08;

// oldEntries holds the old archive's ExistingEntry records in directory
// order, items the FoundItem records in walk order; an item found twice
// counts once. On a clash, first and second are the two files that would
// share a name.
PlanResult MakePlan(RecordSpool& oldEntries, RecordSpool& items, const PlanOptions& options,
                    const platform::Path& scratch, Plan& plan, std::string& first, std::string& second);
