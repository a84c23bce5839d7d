#include "update_plan.h"

#include "dos_time.h"

#include <algorithm>
#include <unordered_map>

namespace {

bool PassesDate(const platform::FileInfo& info, const PlanOptions& options) {
    if (options.onOrAfter && info.modified < options.dateLimit) return false;
    if (options.before && info.modified >= options.dateLimit) return false;
    return true;
}

std::string_view ArchiveName(const FoundItem& item, bool junkDirs, Plan& plan) {
    std::string_view relative = item.relative;
    if (junkDirs) return relative.substr(relative.find_last_of('/') + 1);
    if (item.info.isDirectory) return plan.names.emplace_back(item.relative + '/');
    return relative;
}

// The name as the file system compares it; a folded copy, kept in folded,
// only for a name with capitals when case is ignored.
std::string_view NameKey(std::string_view name, bool ignoreCase, std::deque<std::string>& folded) {
    if (!ignoreCase || std::none_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return name;
    std::string& key = folded.emplace_back(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    return key;
}

bool IsVolumeLabel(const ExistingEntry& entry) {
    return (entry.versionMadeBy >> 8) == 0 && (entry.externalAttributes & kVolumeLabelAttribute) &&
           !(entry.externalAttributes & 0x10);
}

}  // namespace

PlanResult MakePlan(const ExistingArchive& archive, const std::deque<FoundItem>& items, const PlanOptions& options,
                    Plan& plan, std::string& first, std::string& second) {
    plan = Plan();
    std::deque<std::string> folded;
    std::unordered_map<std::string_view, std::size_t> existing(archive.entries.size());
    for (std::size_t i = 0; i < archive.entries.size(); ++i)
        existing.emplace(NameKey(archive.entries[i].name, options.ignoreCase, folded), i);

    // Old entries keep their places; a replaced one is rewritten where it was.
    std::vector<PlannedEntry> inPlace(archive.entries.size());
    for (std::size_t i = 0; i < archive.entries.size(); ++i)
        inPlace[i] = {PlannedEntry::Source::Existing, i, archive.entries[i].name, -1};
    std::vector<PlannedEntry> appended;

    std::unordered_map<std::string_view, std::size_t> taken;  // archive name -> the item that took it
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FoundItem& item = items[i];
        bool directory = item.info.isDirectory;
        if (directory && (options.junkDirs || options.noDirEntries)) continue;
        if (!PassesDate(item.info, options)) continue;
        ++plan.selected;
        std::string_view name = ArchiveName(item, options.junkDirs, plan);
        std::string_view key = NameKey(name, options.ignoreCase, folded);
        auto [at, fresh] = taken.emplace(key, i);
        if (!fresh) {
            first = items[at->second].relative;
            second = item.relative;
            return PlanResult::NameClash;
        }
        auto old = existing.find(key);
        PlannedEntry entry{PlannedEntry::Source::File, i, name, -1};
        if (old == existing.end()) {
            if (options.mode == UpdateMode::Freshen) continue;
            appended.push_back(entry);
            ++plan.changes;
            continue;
        }
        if (directory) continue;  // an existing folder entry stays as it is
        const ExistingEntry& oldEntry = archive.entries[old->second];
        DosTime oldTime{oldEntry.dosTime, oldEntry.dosDate};
        bool newer = ToDosTime(item.info.modified).Packed() > oldTime.Packed();
        if (options.mode != UpdateMode::Add && !newer) continue;
        entry.replaces = static_cast<std::ptrdiff_t>(old->second);
        inPlace[old->second] = entry;
        ++plan.changes;
    }

    if (!options.volumeLabel.empty()) {
        PlannedEntry label{PlannedEntry::Source::VolumeLabel, 0, plan.names.emplace_back(options.volumeLabel), -1};
        bool placed = false;
        for (PlannedEntry& entry : inPlace) {
            if (entry.source != PlannedEntry::Source::Existing || !IsVolumeLabel(archive.entries[entry.index]))
                continue;
            if (placed) {
                entry.index = SIZE_MAX;  // a second old label goes
            } else {
                label.replaces = static_cast<std::ptrdiff_t>(entry.index);
                entry = label;
                placed = true;
            }
        }
        if (!placed) plan.entries.push_back(label);
        ++plan.changes;
    }
    plan.entries.reserve(plan.entries.size() + inPlace.size() + appended.size());
    for (PlannedEntry& entry : inPlace)
        if (entry.index != SIZE_MAX) plan.entries.push_back(entry);
    for (PlannedEntry& entry : appended) plan.entries.push_back(entry);
    return PlanResult::Ok;
}
