#include "file_walker.h"


#include "name_pattern.h"
#include "text_codec.h"
#include "worker_pool.h"

#include <algorithm>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace {

// Listing a folder is mostly waiting on the file system (under Wine, on the
// wine server), so a tree's folders are listed several at a time, by more
// threads than there are processors.
constexpr unsigned kListingThreads = 4;

struct FolderListing {
    bool listed = false;
    std::vector<platform::FileInfo> entries;  // sorted by name
    platform::Error error;
};

FolderListing ListFolder(const platform::Path& dir) {
    FolderListing listing;
    listing.listed = platform::ListDirectory(dir, listing.entries, listing.error);
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const platform::FileInfo& a, const platform::FileInfo& b) { return a.name < b.name; });
    return listing;
}

// Lists the folders the walk will enter next, in the order it will enter
// them, a few at a time on the listing threads. The walk announces a
// folder's subfolders when it gets to the folder: they come before the
// folders announced earlier. At most kAhead listings are held ahead.
class ListingAhead {
public:
    void Announce(std::vector<platform::Path> folders) {
        upcoming_.insert(upcoming_.begin(), std::make_move_iterator(folders.begin()),
                         std::make_move_iterator(folders.end()));
        TopUp();
    }

    FolderListing Take(const platform::Path& dir) {
        auto found = std::find_if(listing_.begin(), listing_.end(), [&](const Pending& p) { return p.folder == dir; });
        FolderListing listing;
        if (found == listing_.end()) {
            listing = ListFolder(dir);
        } else {
            listing = found->listing.get();
            listing_.erase(found);
        }
        TopUp();
        return listing;
    }

private:
    struct Pending {
        platform::Path folder;
        std::future<FolderListing> listing;
    };

    void TopUp() {
        while (listing_.size() < kAhead && !upcoming_.empty()) {
            if (!pool_) pool_ = std::make_unique<WorkerPool>(kListingThreads);
            platform::Path folder = std::move(upcoming_.front());
            upcoming_.pop_front();
            auto listing = pool_->Submit([folder]() { return ListFolder(folder); });
            listing_.push_back({std::move(folder), std::move(listing)});
        }
    }

    static constexpr std::size_t kAhead = 32;
    std::deque<platform::Path> upcoming_;
    std::deque<Pending> listing_;
    std::unique_ptr<WorkerPool> pool_;
};

class Walker {
public:
    Walker(const WalkOptions& options, WalkResult& result) : options_(options), result_(result) {}

    // Matches components[index] in dir and goes on with the rest.
    void Match(const platform::Path& dir, const std::string& relative, const std::vector<std::u32string>& components,
               std::size_t index) {
        Listing* listing = Listed(dir, relative);
        if (!listing) return;
        bool last = index + 1 == components.size();
        for (std::size_t i : Candidates(*listing, components[index])) {
            const platform::FileInfo& entry = listing->entries[i];
            platform::Path path = platform::Join(dir, entry.name);
            std::string child = Child(relative, path, entry);
            if (!Admit(path, child, entry)) continue;
            if (last) {
                ++matches_;
                Add(path, child, entry);
                if (entry.isDirectory) {
                    ahead_.Announce({path});
                    Tree(path, child);
                }
            } else if (entry.isDirectory) {
                Match(path, child, components, index + 1);
            }
        }
    }

    std::size_t Matches() const { return matches_; }

private:
    // A folder's entries with their names as code points, listed once per
    // walk: one request may name thousands of items of the same folder.
    struct Listing {
        std::vector<platform::FileInfo> entries;
        std::vector<std::u32string> names;  // ASCII letters in lower case when case is ignored
        // Made on the first lookup of a name without wildcards, so that naming
        // every file of a large folder does not compare each with all.
        std::unordered_multimap<std::u32string_view, std::size_t> byName;
    };

    std::u32string Folded(std::u32string name) const {
        if (options_.ignoreCase)
            for (char32_t& c : name)
                if (c >= U'A' && c <= U'Z') c += U'a' - U'A';
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
        Listing listing;
        if (!List(dir, relative, listing.entries)) return nullptr;
        for (const platform::FileInfo& entry : listing.entries)
            listing.names.push_back(Folded(text::ToCodePoints(platform::ToUtf8(entry.name))));
        return &listings_.emplace(dir, std::move(listing)).first->second;
    }

    bool List(const platform::Path& dir, const std::string& relative, std::vector<platform::FileInfo>& entries) {
        FolderListing listing = ahead_.Take(dir);
        if (!listing.listed) {
            result_.problems.push_back({relative.empty() ? "." : relative, listing.error});
            return false;
        }
        entries = std::move(listing.entries);
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

    // Hidden and system items only when asked; links never; the archive never.
    bool Admit(const platform::Path& path, const std::string& relative, const platform::FileInfo& entry) {
        if (!options_.systemFiles && (entry.attributes & (platform::kAttrHidden | platform::kAttrSystem))) return false;
        if (entry.isLink) {
            result_.links.Add(relative);
            return false;
        }
        return options_.exclude.empty() || !platform::SamePath(path, options_.exclude);
    }

    // An item found twice (patterns that overlap) is dropped by the plan.
    void Add(const platform::Path& path, const std::string& relative, const platform::FileInfo& entry) {
        result_.items.Add(EncodeFoundItem(FoundItem{path, relative, entry}));
    }

    void Tree(const platform::Path& dir, const std::string& relative) {
        std::vector<platform::FileInfo> entries;
        if (!List(dir, relative, entries)) return;
        std::vector<platform::Path> folders;
        for (const platform::FileInfo& entry : entries)
            if (Enters(entry)) folders.push_back(platform::Join(dir, entry.name));
        ahead_.Announce(std::move(folders));
        for (const platform::FileInfo& entry : entries) {
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
    out.Path(item.path).Str(item.relative).U32(item.info.attributes);
    out.U8(static_cast<std::uint8_t>(item.info.isDirectory | item.info.isLink << 1));
    out.U64(item.info.size).I64(item.info.modified);
    return out.Data();
}

FoundItem DecodeFoundItem(std::string_view record) {
    RecordIn in(record);
    FoundItem item;
    item.path = in.Path();
    item.relative = in.Str();
    item.info.attributes = in.U32();
    std::uint8_t flags = in.U8();
    item.info.isDirectory = flags & 1;
    item.info.isLink = flags & 2;
    item.info.size = in.U64();
    item.info.modified = in.I64();
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
        std::size_t before = walker.Matches();
        walker.Match(root, std::string(), components, 0);
        if (walker.Matches() == before) result.unmatched.push_back(pattern);
    }
}
