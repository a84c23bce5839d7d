// Decides, from the old archive's entries and the files found, what the new
// archive holds: which old entries are copied, which files are added or
// replace an entry, in which order.
#pragma once

#include "archive_reader.h"
#include "file_walker.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

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
    bool ignoreCase = false;      // names differing only in ASCII case are one name (Windows)
};

struct PlannedEntry {
    enum class Source { Existing, File, VolumeLabel };
    Source source = Source::Existing;
    std::size_t index = 0;          // into the old entries or the found items
    std::string_view name;          // UTF-8 name in the archive; in the item, the old entry or Plan::names
    std::ptrdiff_t replaces = -1;   // the old entry a file takes the place of
};

struct Plan {
    std::vector<PlannedEntry> entries;
    std::deque<std::string> names;  // names that are not a found item's or an old entry's (folders, the label)
    std::size_t selected = 0;       // items that passed the filters
    std::size_t changes = 0;        // entries to be written from files or the label
};

enum class PlanResult { Ok, NameClash };

// The MS-DOS attribute that marks a volume-label entry.
constexpr std::uint32_t kVolumeLabelAttribute = 0x08;

// On a clash, first and second are the two files that would share a name.
// The plan's names may refer to the archive's entries and the items, which
// must outlive it.
PlanResult MakePlan(const ExistingArchive& archive, const std::deque<FoundItem>& items, const PlanOptions& options,
                    Plan& plan, std::string& first, std::string& second);
