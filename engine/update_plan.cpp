#include "update_plan.h"

#include "case_fold.h"
#include "dos_time.h"
#include "text_codec.h"

#include <algorithm>
#include <vector>

namespace {

bool PassesDate(const platform::FileInfo& info, const PlanOptions& options) {
    if (options.onOrAfter && info.modified < options.dateLimit) return false;
    if (options.before && info.modified >= options.dateLimit) return false;
    return true;
}

std::string ArchiveName(const FoundItem& item, bool junkDirs) {
    const std::string& relative = item.relative;
    if (junkDirs) return relative.substr(relative.find_last_of('/') + 1);
    if (item.info.isDirectory) return relative + '/';
    return relative;
}

// The name as the file system compares it.
std::string NameKey(std::string_view name, bool ignoreCase) {
    if (!ignoreCase) return std::string(name);
    std::u32string points = text::ToCodePoints(name);
    for (char32_t& c : points) c = text::FoldCase(c);
    return text::FromCodePoints(points);
}

bool IsVolumeLabel(const ExistingEntry& entry) {
    return (entry.versionMadeBy >> 8) == 0 && (entry.externalAttributes & kVolumeLabelAttribute) &&
           !(entry.externalAttributes & 0x10);
}

enum Tag : std::uint8_t { kOld, kItem };

// An item that takes a name in the new archive.
struct Taker {
    std::uint64_t seq = 0;
    std::string relative, name, item;  // its relative path, archive name and record
};

// An old entry that a file may replace.
struct OldName {
    std::uint64_t index = 0;
    std::uint32_t time = 0;  // packed DOS time
    std::string name;
};

// One name's old entries and items, as the sort by name brings them
// together: the old entries first, each side in its own order. Where case
// is ignored, names may differ in case only (a case-sensitive disk, an
// archive made on one): a file replaces the entry of exactly its name, or
// else one of another case, and the rest are added.
struct NameGroup {
    std::string key;
    std::vector<OldName> olds;  // the first entry of each name, up to kCaseVariants
    std::vector<Taker> takers;
};

// Case variants of one name matched against files; further entries of the
// same name are kept as they are.
constexpr std::size_t kCaseVariants = 64;

class Planner {
public:
    Planner(const PlanOptions& options, const platform::Path& scratch, Plan& plan)
        : options_(options), scratch_(scratch), plan_(plan), byName_(scratch), replacing_(scratch),
          appended_(scratch) {}

    PlanResult Run(RecordSpool& oldEntries, RecordSpool& items, std::string& first, std::string& second) {
        Gather(oldEntries, items);
        Decide();
        if (clash_) {
            first = clashFirst_;
            second = clashSecond_;
            return PlanResult::NameClash;
        }
        replacing_.Sort(options_.heartbeat);
        appended_.Sort(options_.heartbeat);
        if (options_.volumeLabel.empty()) {
            Order(oldEntries, plan_.entries);
        } else {
            RecordSpool kept(scratch_);
            bool placed = Order(oldEntries, kept);
            if (!placed) plan_.entries.Add(Label(nullptr));
            RecordSpool::Reader reader = kept.Read();
            for (std::string_view record; reader.Next(record);) {
                Beat(options_.heartbeat);
                plan_.entries.Add(record);
            }
            ++plan_.changes;
        }
        std::string_view key, payload;
        while (appended_.Next(key, payload)) {
            Beat(options_.heartbeat);
            Add(FileEntry(payload, nullptr));
        }
        return PlanResult::Ok;
    }

private:
    // Sorts the old entries and the selected items by name.
    void Gather(RecordSpool& oldEntries, RecordSpool& items) {
        RecordSpool::Reader olds = oldEntries.Read();
        std::uint64_t index = 0;
        for (std::string_view record; olds.Next(record); ++index) {
            Beat(options_.heartbeat);
            ExistingEntry entry = DecodeExistingEntry(record);
            byName_.Add(NameKey(entry.name, options_.ignoreCase),
                        RecordOut().U8(kOld).U64(index).U32(entry.time.Packed()).Str(entry.name).Data());
        }
        RecordSpool::Reader found = items.Read();
        std::uint64_t seq = 0;
        for (std::string_view record; found.Next(record); ++seq) {
            Beat(options_.heartbeat);
            FoundItem item = DecodeFoundItem(record);
            if (item.info.isDirectory && (options_.junkDirs || options_.noDirEntries)) continue;
            if (!PassesDate(item.info, options_)) continue;
            std::string name = ArchiveName(item, options_.junkDirs);
            byName_.Add(NameKey(name, options_.ignoreCase),
                        RecordOut().U8(kItem).U64(seq).Str(item.relative).Str(name).Str(record).Data());
        }
        byName_.Sort(options_.heartbeat);
    }

    void Decide() {
        NameGroup group;
        std::string_view key, payload;
        while (byName_.Next(key, payload)) {
            Beat(options_.heartbeat);
            if (key != group.key || (group.olds.empty() && group.takers.empty())) {
                Settle(group);
                group = NameGroup();
                group.key = key;
            }
            RecordIn in(payload);
            if (in.U8() == kOld) {
                OldName old;
                old.index = in.U64();
                old.time = in.U32();
                old.name = in.Str();
                bool seen = std::any_of(group.olds.begin(), group.olds.end(),
                                        [&](const OldName& o) { return o.name == old.name; });
                if (!seen && group.olds.size() < kCaseVariants) group.olds.push_back(std::move(old));
                continue;
            }
            Taker taker;
            taker.seq = in.U64();
            taker.relative = in.Str();
            taker.name = in.Str();
            auto same = [&](auto field) {
                return std::find_if(group.takers.begin(), group.takers.end(),
                                    [&](const Taker& t) { return t.*field == taker.*field; });
            };
            if (same(&Taker::relative) != group.takers.end()) continue;  // found twice
            auto rival = same(&Taker::name);
            if (rival != group.takers.end()) {
                // Two files for one name; the one met first in walk order is reported.
                if (!clash_ || taker.seq < clashSeq_) {
                    clash_ = true;
                    clashSeq_ = taker.seq;
                    clashFirst_ = rival->relative;
                    clashSecond_ = taker.relative;
                }
                continue;
            }
            taker.item = in.Str();
            group.takers.push_back(std::move(taker));
        }
        Settle(group);
    }

    // What becomes of the name's items: added, replacing an old entry, or nothing.
    void Settle(const NameGroup& group) {
        std::vector<bool> taken(group.olds.size());
        std::vector<const OldName*> replaces(group.takers.size());
        auto pair = [&](auto matches) {
            for (std::size_t t = 0; t < group.takers.size(); ++t)
                for (std::size_t o = 0; o < group.olds.size() && !replaces[t]; ++o)
                    if (!taken[o] && matches(group.takers[t], group.olds[o])) {
                        taken[o] = true;
                        replaces[t] = &group.olds[o];
                    }
        };
        pair([](const Taker& t, const OldName& o) { return t.name == o.name; });
        pair([](const Taker&, const OldName&) { return true; });  // one of another case
        for (std::size_t t = 0; t < group.takers.size(); ++t) Settle(group.takers[t], replaces[t]);
    }

    // A folder's listing may show a file of several names (hard links) with
    // the time it had before its last change through another name, so a file
    // that looks no newer than its entry is asked again, the file itself this time.
    static bool Newer(FoundItem& item, std::uint32_t entryTime) {
        if (ToDosTime(item.info.modified).Packed() > entryTime) return true;
        platform::FileInfo now;
        platform::Error ignored;
        if (!platform::Stat(item.path, now, ignored) || ToDosTime(now.modified).Packed() <= entryTime) return false;
        item.info.size = now.size;
        item.info.modified = now.modified;
        return true;
    }

    void Settle(const Taker& taker, const OldName* old) {
        ++plan_.selected;
        std::string payload = RecordOut().Str(taker.name).Str(taker.item).Data();
        if (!old) {
            if (options_.mode == UpdateMode::Freshen) return;
            appended_.Add(NumberKey(taker.seq), payload);
            ++plan_.changes;
            return;
        }
        FoundItem item = DecodeFoundItem(taker.item);
        if (item.info.isDirectory) return;  // an existing folder entry stays as it is
        if (options_.mode != UpdateMode::Add) {
            if (!Newer(item, old->time)) return;
            payload = RecordOut().Str(taker.name).Str(EncodeFoundItem(item)).Data();
        }
        replacing_.Add(NumberKey(old->index), payload);
        ++plan_.changes;
    }

    // Old entries keep their places; a replaced one is rewritten where it was.
    // True when an old volume label took the new one's place.
    bool Order(RecordSpool& oldEntries, RecordSpool& out) {
        std::string_view key, payload;
        bool pending = replacing_.Next(key, payload);
        bool placed = false;
        RecordSpool::Reader olds = oldEntries.Read();
        std::uint64_t index = 0;
        for (std::string_view record; olds.Next(record); ++index) {
            Beat(options_.heartbeat);
            ExistingEntry old = DecodeExistingEntry(record);
            if (pending && KeyNumber(key) == index) {
                out.Add(EncodePlannedEntry(FileEntry(payload, &old)));
                pending = replacing_.Next(key, payload);
            } else if (!options_.volumeLabel.empty() && IsVolumeLabel(old)) {
                if (!placed) out.Add(Label(&old));  // a second old label goes
                placed = true;
            } else {
                PlannedEntry kept;
                kept.old = std::move(old);
                out.Add(EncodePlannedEntry(kept));
            }
        }
        return placed;
    }

    PlannedEntry FileEntry(std::string_view payload, ExistingEntry* replaced) {
        RecordIn in(payload);
        PlannedEntry entry;
        entry.source = PlannedEntry::Source::File;
        entry.name = in.Str();
        entry.item = DecodeFoundItem(in.Str());
        if (replaced) {
            entry.old = std::move(*replaced);
            entry.replaces = true;
        }
        if (!entry.item.info.isDirectory) plan_.readsFiles = true;
        return entry;
    }

    std::string Label(ExistingEntry* replaced) {
        PlannedEntry label;
        label.source = PlannedEntry::Source::VolumeLabel;
        label.name = options_.volumeLabel;
        if (replaced) {
            label.old = std::move(*replaced);
            label.replaces = true;
        }
        return EncodePlannedEntry(label);
    }

    void Add(const PlannedEntry& entry) { plan_.entries.Add(EncodePlannedEntry(entry)); }

    const PlanOptions& options_;
    const platform::Path& scratch_;
    Plan& plan_;
    RecordSorter byName_;     // old entries and items by name
    RecordSorter replacing_;  // items that replace an old entry, by its index
    RecordSorter appended_;   // items added after the old entries, in walk order
    bool clash_ = false;
    std::uint64_t clashSeq_ = 0;
    std::string clashFirst_, clashSecond_;
};

}  // namespace

std::string EncodePlannedEntry(const PlannedEntry& entry) {
    RecordOut out;
    out.U8(static_cast<std::uint8_t>(entry.source)).U8(entry.replaces).Str(entry.name);
    bool hasOld = entry.source == PlannedEntry::Source::Existing || entry.replaces;
    out.Str(hasOld ? EncodeExistingEntry(entry.old) : std::string());
    out.Str(entry.source == PlannedEntry::Source::File ? EncodeFoundItem(entry.item) : std::string());
    return out.Data();
}

PlannedEntry DecodePlannedEntry(std::string_view record) {
    RecordIn in(record);
    PlannedEntry entry;
    entry.source = static_cast<PlannedEntry::Source>(in.U8());
    entry.replaces = in.U8() != 0;
    entry.name = in.Str();
    std::string_view old = in.Str();
    if (!old.empty()) entry.old = DecodeExistingEntry(old);
    std::string_view item = in.Str();
    if (!item.empty()) entry.item = DecodeFoundItem(item);
    return entry;
}

PlanResult MakePlan(RecordSpool& oldEntries, RecordSpool& items, const PlanOptions& options,
                    const platform::Path& scratch, Plan& plan, std::string& first, std::string& second) {
    return Planner(options, scratch, plan).Run(oldEntries, items, first, second);
}
