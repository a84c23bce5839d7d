#include "file_walker.h"

#include "case_fold.h"
#include "fault_injection.h"
#include "name_pattern.h"
#include "text_codec.h"
#include "threads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <unordered_map>

namespace {

// A file's status after its name (a FoundItem leaves its name out: its path ends with it).
void PutStatus(RecordOut& out, const platform::FileInfo& e) {
    out.U32(e.attributes)
        .U8(static_cast<std::uint8_t>(e.isDirectory | e.isLink << 1 | e.isDevice << 2))
        .U64(e.size)
        .I64(e.modified);
}

void GetStatus(RecordIn& in, platform::FileInfo& e) {
    e.attributes = in.U32();
    std::uint8_t flags = in.U8();
    e.isDirectory = flags & 1;
    e.isLink = flags & 2;
    e.isDevice = flags & 4;
    e.size = in.U64();
    e.modified = in.I64();
}

// Listing a folder is mostly waiting on the file system (under Wine, on the
// wine server), so a tree's folders are listed several at a time, by more
// threads than there are processors.
constexpr unsigned kListingThreads = 4;

// A folder's entries in name order: in memory, or for a folder of more than
// the record budget, sorted in a scratch file.
class FolderListing {
public:
    bool listed = false;
    platform::Error error;
    std::exception_ptr failure;  // a scratch file failed while listing

    // eachEntry runs before each entry is taken; it may throw to give up.
    static FolderListing Of(const platform::Path& dir, const platform::Path& scratch,
                            const std::function<void()>& eachEntry) {
        FolderListing listing;
        std::size_t bytes = 0;
        try {
            listing.listed = platform::ListDirectory(dir, [&](platform::FileInfo&& entry) {
                eachEntry();
                if (listing.spilled_) {
                    listing.spilled_->Add(NameKey(entry.name), Encode(entry));
                    return;
                }
                bytes += sizeof entry + entry.name.size() * sizeof(platform::PathChar);
                listing.entries_.push_back(std::move(entry));
                if (bytes >= RecordBudget()) listing.Spill(scratch);
            }, listing.error);
            if (listing.spilled_) listing.spilled_->Seal();
        } catch (const ScratchError&) {
            listing.failure = std::current_exception();
        }
        std::sort(listing.entries_.begin(), listing.entries_.end(),
                  [](const platform::FileInfo& a, const platform::FileInfo& b) { return a.name < b.name; });
        return listing;
    }

    // Entries held in memory; none for a folder sorted in a scratch file.
    const std::vector<platform::FileInfo>& InMemory() const { return entries_; }

    // The next entry in name order; false after the last.
    bool Next(platform::FileInfo& entry, Heartbeat* heartbeat) {
        if (!spilled_) {
            if (next_ >= entries_.size()) return false;
            entry = std::move(entries_[next_++]);
            return true;
        }
        if (!sorted_) spilled_->Sort(heartbeat);
        sorted_ = true;
        std::string_view key, record;
        if (!spilled_->Next(key, record)) return false;
        entry = Decode(record);
        return true;
    }

private:
    // The name as bytes that sort as the name does.
    static std::string NameKey(const platform::Path& name) {
        std::string key;
        for (platform::PathChar c : name)
            for (int shift = (sizeof c - 1) * 8; shift >= 0; shift -= 8)
                key.push_back(static_cast<char>(static_cast<std::make_unsigned_t<platform::PathChar>>(c) >> shift));
        return key;
    }
    static std::string Encode(const platform::FileInfo& e) {
        RecordOut out;
        PutStatus(out.Path(e.name), e);
        return out.Data();
    }
    static platform::FileInfo Decode(std::string_view record) {
        RecordIn in(record);
        platform::FileInfo e;
        e.name = in.Path();
        GetStatus(in, e);
        return e;
    }
    void Spill(const platform::Path& scratch) {
        spilled_ = std::make_unique<RecordSorter>(scratch);
        for (const platform::FileInfo& e : entries_) spilled_->Add(NameKey(e.name), Encode(e));
        entries_.clear();
        entries_.shrink_to_fit();
    }

    std::vector<platform::FileInfo> entries_;
    std::size_t next_ = 0;
    std::unique_ptr<RecordSorter> spilled_;
    bool sorted_ = false;
};

// Lists ahead of the walk, on threads of its own, the folders it will enter
// next. The walk goes through a tree in the order of the folders' paths
// compared component by component (folders sorted by name, each followed by
// its tree), so that is the order the listers take them in; a listed
// folder's subfolders join them at once. At most kAhead listings are made
// or held ahead of the walk; what the walk has gone past is dropped. When
// the walk ends early, listings under way are given up.
class ListingAhead {
public:
    using Enters = std::function<bool(const platform::FileInfo&)>;
    ListingAhead(Enters enters, const platform::Path& scratch, Heartbeat* heartbeat)
        : enters_(std::move(enters)), scratch_(scratch), heartbeat_(heartbeat) {}
    ~ListingAhead() {
        {
            std::lock_guard<threads::Mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (threads::Thread& lister : listers_) lister.join();
    }
    ListingAhead(const ListingAhead&) = delete;
    ListingAhead& operator=(const ListingAhead&) = delete;

    // The walk is about to go through dir's tree.
    void Announce(const platform::Path& dir) {
        std::lock_guard<threads::Mutex> lock(mutex_);
        upcoming_.insert(dir);
        while (listers_.size() < kListingThreads && StartLister()) {
        }
        wake_.notify_one();
    }

    FolderListing Take(const platform::Path& dir) {
        std::unique_lock<threads::Mutex> lock(mutex_);
        while (!held_.empty() && PathBefore(held_.begin()->first, dir)) {
            held_.erase(held_.begin());
            --ahead_;
            wake_.notify_all();
        }
        upcoming_.erase(upcoming_.begin(), upcoming_.lower_bound(dir));
        auto listed = [&]() { return !beingListed_.count(dir); };
        if (heartbeat_) heartbeat_->Wait(lock, done_, listed);
        else done_.wait(lock, listed);
        FolderListing listing;
        auto held = held_.find(dir);
        if (held != held_.end()) {
            listing = std::move(held->second);
            held_.erase(held);
            --ahead_;
            wake_.notify_all();
            return listing;
        }
        bool inTree = upcoming_.erase(dir) > 0;  // not a folder a pattern names on its way
        lock.unlock();
        listing = FolderListing::Of(dir, scratch_, [this]() { Beat(heartbeat_); });
        if (inTree) Found(dir, listing);
        return listing;
    }

private:
    // False when the system has no thread to give: the walk goes on with the
    // listers it has, and lists on its own what none of them took.
    bool StartLister() {
        if (platform::FaultNow(platform::FaultOp::Thread)) return false;
        try {
            listers_.emplace_back([this]() { List(); });
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }

    // Path order component by component: the separator sorts first.
    static bool PathBefore(const platform::Path& a, const platform::Path& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](auto x, auto y) {
            using Unit = std::make_unsigned_t<platform::PathChar>;
            Unit ux = x == platform::kSeparator ? 0 : static_cast<Unit>(x);
            Unit uy = y == platform::kSeparator ? 0 : static_cast<Unit>(y);
            return ux < uy;
        });
    }
    struct Before {
        bool operator()(const platform::Path& a, const platform::Path& b) const { return PathBefore(a, b); }
    };

    // Adds the subfolders of a folder just listed to those to list (not
    // those of a folder of very many entries: they are listed as the walk
    // gets to them).
    void Found(const platform::Path& dir, const FolderListing& listing) {
        std::vector<platform::Path> subfolders;
        for (const platform::FileInfo& entry : listing.InMemory())
            if (enters_(entry)) subfolders.push_back(platform::Join(dir, entry.name));
        std::lock_guard<threads::Mutex> lock(mutex_);
        for (platform::Path& folder : subfolders) upcoming_.insert(std::move(folder));
        wake_.notify_all();
    }

    void List() {
        std::unique_lock<threads::Mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this]() { return stopping_ || (!upcoming_.empty() && ahead_ < kAhead); });
            if (stopping_) return;
            platform::Path dir = std::move(upcoming_.extract(upcoming_.begin()).value());
            beingListed_.insert(dir);
            ++ahead_;
            lock.unlock();
            FolderListing listing;
            try {
                listing = FolderListing::Of(dir, scratch_, [this]() {
                    if (stopping_) throw Abandoned();
                });
            } catch (const Abandoned&) {
                return;
            }
            Found(dir, listing);
            lock.lock();
            beingListed_.erase(dir);
            held_.emplace(std::move(dir), std::move(listing));
            done_.notify_all();
        }
    }

    struct Abandoned {};
    static constexpr std::size_t kAhead = 32;
    Enters enters_;
    const platform::Path& scratch_;
    Heartbeat* heartbeat_;
    threads::Mutex mutex_;
    threads::Condition wake_;  // for the listers
    threads::Condition done_;  // for the walk
    std::set<platform::Path, Before> upcoming_;
    std::set<platform::Path, Before> beingListed_;
    std::map<platform::Path, FolderListing, Before> held_;
    std::size_t ahead_ = 0;  // listings being made or held
    std::atomic<bool> stopping_ = false;
    std::vector<threads::Thread> listers_;
};

class Walker {
public:
    Walker(const WalkOptions& options, WalkResult& result)
        : options_(options), result_(result),
          ahead_([this](const platform::FileInfo& entry) { return Enters(entry); }, options.scratch,
                 options.heartbeat) {}

    // Matches components[index] in dir and goes on with the rest.
    void Match(const platform::Path& dir, const std::string& relative, const std::vector<std::u32string>& components,
               std::size_t index) {
        Listing* listing = Listed(dir, relative);
        if (!listing) return;
        bool last = index + 1 == components.size();
        for (std::size_t i : Candidates(*listing, components[index])) {
            Beat(options_.heartbeat);
            const platform::FileInfo& entry = listing->entries[i];
            platform::Path path = platform::Join(dir, entry.name);
            std::string child = Child(relative, path, entry);
            if (!Admit(path, child, entry)) continue;
            if (last) {
                ++matches_;
                Add(path, child, entry);
                if (entry.isDirectory) {
                    ahead_.Announce(path);
                    Tree(path, child);
                }
            } else if (entry.isDirectory) {
                Match(path, child, components, index + 1);
            }
        }
    }

    std::size_t Matches() const { return matches_; }
    std::size_t ArchiveSeen() const { return archiveSeen_; }

private:
    // A folder's entries with their names as code points, listed once per
    // walk: one request may name thousands of items of the same folder.
    struct Listing {
        std::vector<platform::FileInfo> entries;
        std::vector<std::u32string> names;  // folded (case_fold.h) when case is ignored
        // Made on the first lookup of a name without wildcards, so that naming
        // every file of a large folder does not compare each with all.
        std::unordered_multimap<std::u32string_view, std::size_t> byName;
    };

    std::u32string Folded(std::u32string name) const {
        if (options_.ignoreCase)
            for (char32_t& c : name) c = text::FoldCase(c);
        return name;
    }

    // The entries that a pattern component matches, in listing order.
    std::vector<std::size_t> Candidates(Listing& listing, const std::u32string& component) const {
        std::vector<std::size_t> found;
        if (HasWildcards(component)) {
            for (std::size_t i = 0; i < listing.names.size(); ++i)
                if (MatchName(component, listing.names[i], options_.ignoreCase)) found.push_back(i);
            return found;
        }
        if (listing.byName.empty())
            for (std::size_t i = 0; i < listing.names.size(); ++i) listing.byName.emplace(listing.names[i], i);
        std::u32string name = Folded(component);
        auto [first, last] = listing.byName.equal_range(name);
        for (auto at = first; at != last; ++at) found.push_back(at->second);
        std::sort(found.begin(), found.end());
        return found;
    }

    Listing* Listed(const platform::Path& dir, const std::string& relative) {
        auto found = listings_.find(dir);
        if (found != listings_.end()) return &found->second;
        FolderListing folder;
        if (!Open(dir, relative, folder)) return nullptr;
        Listing listing;
        for (platform::FileInfo entry; folder.Next(entry, options_.heartbeat);) {
            Beat(options_.heartbeat);
            listing.names.push_back(Folded(text::ToCodePoints(platform::ToUtf8(entry.name))));
            listing.entries.push_back(std::move(entry));
        }
        return &listings_.emplace(dir, std::move(listing)).first->second;
    }

    bool Open(const platform::Path& dir, const std::string& relative, FolderListing& listing) {
        listing = ahead_.Take(dir);
        if (listing.failure) std::rethrow_exception(listing.failure);
        if (!listing.listed) {
            result_.problems.push_back({relative.empty() ? "." : relative, listing.error});
            return false;
        }
        return true;
    }

    // The folders below dir that the walk will enter.
    bool Enters(const platform::FileInfo& entry) const {
        return entry.isDirectory && !entry.isLink &&
               (options_.systemFiles || !(entry.attributes & (platform::kAttrHidden | platform::kAttrSystem)));
    }

    std::string Child(const std::string& relative, const platform::Path& path, const platform::FileInfo& entry) {
        std::string name = platform::ToUtf8(options_.shortNames ? platform::ShortName(path) : entry.name);
        return relative.empty() ? name : relative + '/' + name;
    }

    // Hidden and system items only when asked; links and devices never; the archive never.
    bool Admit(const platform::Path& path, const std::string& relative, const platform::FileInfo& entry) {
        if (!options_.systemFiles && (entry.attributes & (platform::kAttrHidden | platform::kAttrSystem))) return false;
        if (entry.isLink || entry.isDevice) {
            result_.skipped.Add((entry.isLink ? kSkippedLink : kSkippedDevice) + relative);
            return false;
        }
        if (!options_.exclude.empty() && platform::SamePath(path, options_.exclude)) {
            ++archiveSeen_;
            return false;
        }
        return true;
    }

    // An item found twice (patterns that overlap) is dropped by the plan.
    void Add(const platform::Path& path, const std::string& relative, const platform::FileInfo& entry) {
        result_.items.Add(EncodeFoundItem(FoundItem{path, relative, entry}));
    }

    void Tree(const platform::Path& dir, const std::string& relative) {
        FolderListing listing;
        if (!Open(dir, relative, listing)) return;
        for (platform::FileInfo entry; listing.Next(entry, options_.heartbeat);) {
            Beat(options_.heartbeat);
            platform::Path path = platform::Join(dir, entry.name);
            std::string child = Child(relative, path, entry);
            if (!Admit(path, child, entry)) continue;
            Add(path, child, entry);
            if (entry.isDirectory) Tree(path, child);
        }
    }

    const WalkOptions& options_;
    WalkResult& result_;
    std::map<platform::Path, Listing> listings_;
    ListingAhead ahead_;
    std::size_t matches_ = 0;
    std::size_t archiveSeen_ = 0;  // times the archive itself was passed over
};

// Splits a pattern into components; false when one of them is "..".
bool Split(const std::string& pattern, std::vector<std::u32string>& components) {
    std::u32string points = text::ToCodePoints(pattern);
    std::u32string part;
    auto flush = [&]() {
        if (part == U"..") return false;
        if (!part.empty() && part != U".") components.push_back(part);
        part.clear();
        return true;
    };
    for (char32_t c : points) {
        if (c == U'/' || c == U'\\') {
            if (!flush()) return false;
        } else {
            part += c;
        }
    }
    return flush();
}

}  // namespace

std::string EncodeFoundItem(const FoundItem& item) {
    RecordOut out;
    PutStatus(out.Path(item.path).Str(item.relative), item.info);
    return out.Data();
}

FoundItem DecodeFoundItem(std::string_view record) {
    RecordIn in(record);
    FoundItem item;
    item.path = in.Path();
    item.relative = in.Str();
    GetStatus(in, item.info);
    return item;
}

void WalkPatterns(const platform::Path& root, const std::vector<std::string>& patterns, const WalkOptions& options,
                  WalkResult& result) {
    Walker walker(options, result);
    for (const std::string& pattern : patterns) {
        std::vector<std::u32string> components;
        if (!Split(pattern, components) || components.empty()) {
            result.badPatterns.push_back(pattern);
            continue;
        }
        std::size_t before = walker.Matches(), archiveBefore = walker.ArchiveSeen();
        walker.Match(root, std::string(), components, 0);
        if (walker.Matches() != before) continue;
        (walker.ArchiveSeen() != archiveBefore ? result.archiveItself : result.unmatched).push_back(pattern);
    }
}
