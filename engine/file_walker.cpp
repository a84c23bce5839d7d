#include "file_walker.h"

#include "name_pattern.h"
#include "text_codec.h"
#include "worker_pool.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

// Listing a folder is mostly waiting on the file system (under Wine, on the
// wine server), so a tree's folders are listed several at a time, by more
// threads than there are processors.
constexpr unsigned kListingThreads = 4;
constexpr std::size_t kFoldersPerJob = 16;

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
                    ListAhead(path);
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
        auto ahead = listedAhead_.find(dir);
        FolderListing listing = ahead == listedAhead_.end() ? ListFolder(dir) : std::move(ahead->second);
        if (ahead != listedAhead_.end()) listedAhead_.erase(ahead);
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

    // Lists dir's whole tree ahead of the walk, one depth at a time.
    void ListAhead(const platform::Path& dir) {
        if (!listers_) listers_ = std::make_unique<WorkerPool>(kListingThreads);
        WorkerPool& pool = *listers_;
        std::vector<platform::Path> depth{dir};
        while (!depth.empty()) {
            std::vector<std::future<std::vector<FolderListing>>> jobs;
            for (std::size_t first = 0; first < depth.size(); first += kFoldersPerJob) {
                // A job owns its folders: one that fails must not leave others
                // reading what this function has given up.
                std::vector<platform::Path> folders(depth.begin() + first,
                                                    depth.begin() + std::min(depth.size(), first + kFoldersPerJob));
                jobs.push_back(pool.Submit([folders = std::move(folders)]() {
                    std::vector<FolderListing> listings;
                    for (const platform::Path& folder : folders) listings.push_back(ListFolder(folder));
                    return listings;
                }));
            }
            std::vector<platform::Path> next;
            for (std::size_t job = 0; job < jobs.size(); ++job) {
                std::vector<FolderListing> listings = jobs[job].get();
                for (std::size_t i = 0; i < listings.size(); ++i) {
                    const platform::Path& folder = depth[job * kFoldersPerJob + i];
                    for (const platform::FileInfo& entry : listings[i].entries)
                        if (Enters(entry)) next.push_back(platform::Join(folder, entry.name));
                    listedAhead_.emplace(folder, std::move(listings[i]));
                }
            }
            depth = std::move(next);
        }
    }

    std::string Child(const std::string& relative, const platform::Path& path, const platform::FileInfo& entry) {
        std::string name = platform::ToUtf8(options_.shortNames ? platform::ShortName(path) : entry.name);
        return relative.empty() ? name : relative + '/' + name;
    }

    // Hidden and system items only when asked; links never; the archive never.
    bool Admit(const platform::Path& path, const std::string& relative, const platform::FileInfo& entry) {
        if (!options_.systemFiles && (entry.attributes & (platform::kAttrHidden | platform::kAttrSystem))) return false;
        if (entry.isLink) {
            result_.links.push_back(relative);
            return false;
        }
        return options_.exclude.empty() || !platform::SamePath(path, options_.exclude);
    }

    void Add(const platform::Path& path, const std::string& relative, const platform::FileInfo& entry) {
        if (seen_.count(path)) return;
        FoundItem& item = result_.items.emplace_back(FoundItem{path, relative, entry});
        item.info.name.clear();
        item.info.name.shrink_to_fit();
        seen_.insert(item.path);
    }

    void Tree(const platform::Path& dir, const std::string& relative) {
        std::vector<platform::FileInfo> entries;
        if (!List(dir, relative, entries)) return;
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
    // Views of the items' paths, which a deque never moves.
    std::unordered_set<std::basic_string_view<platform::PathChar>> seen_;
    std::map<platform::Path, Listing> listings_;
    std::unordered_map<platform::Path, FolderListing> listedAhead_;  // taken out as the walk gets there
    std::unique_ptr<WorkerPool> listers_;
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
