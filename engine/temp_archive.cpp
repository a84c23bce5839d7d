#include "temp_archive.h"

#include <random>
#include <string>
#include <vector>

namespace {

bool CreateUnique(const platform::Path& folder, platform::File& file, platform::Path& path, platform::Error& error,
                  bool scratch = false) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = platform::Join(folder, platform::FromUtf8("~tirvo" + std::to_string(random() % 1000000) + ".tmp"));
        if (scratch ? file.CreateScratch(path, error) : file.CreateNew(path, error)) return true;
        // Access denied may concern this name alone (Windows answers so for a
        // file pending deletion); a folder that refuses every name fails them all.
        if (error.kind == platform::ErrorKind::NotFound) break;
    }
    path.clear();
    return false;
}

bool CopyContents(const platform::Path& from, platform::File& to, Heartbeat& heartbeat, platform::Error& error) {
    platform::File source;
    if (!RetryWhileLocked([&](platform::Error& e) { return source.OpenRead(from, e); }, error, heartbeat)) return false;
    std::vector<char> chunk(1 << 20);
    for (;;) {
        heartbeat.Beat();
        std::size_t got = 0;
        if (!source.Read(chunk.data(), chunk.size(), got, error)) return false;
        if (got == 0) return heartbeat.Call([&]() { return to.Flush(error); });
        if (!to.Write(chunk.data(), got, error)) return false;
    }
}

}  // namespace

bool CreateScratchFile(const platform::Path& folder, platform::File& file, platform::Error& error) {
    platform::Path path;
    return CreateUnique(folder, file, path, error, true);
}

TempArchive::~TempArchive() {
    platform::Error ignored;
    Remove(ignored);
}

bool TempArchive::Create(const platform::Path& folder, Heartbeat& heartbeat, platform::Error& error) {
    heartbeat_ = &heartbeat;
    return CreateUnique(folder, file_, path_, error);
}

// Waits out a lock whatever the answer: a stop must not leave the file behind.
bool TempArchive::Remove(platform::Error& error) {
    file_.Close();
    if (path_.empty()) return true;
    auto remove = [&](platform::Error& e) { return platform::RemoveFile(path_, e); };
    bool removed = RetryWhileLocked(remove, error, *heartbeat_, Stops::Ignored);
    path_.clear();
    return removed;
}

TempArchive::CommitResult TempArchive::Commit(const platform::Path& target, std::optional<std::int64_t> modified,
                                              platform::Error& error) {
    file_.Close();
    platform::Error ignored;
    auto setModified = [&](platform::Error& e) { return platform::SetModified(path_, *modified, e); };
    if (modified) RetryWhileLocked(setModified, ignored, *heartbeat_);
    auto replace = [&](platform::Error& e) { return platform::MoveReplacing(path_, target, e); };
    if (RetryWhileLocked(replace, error, *heartbeat_)) {
        path_.clear();
        return CommitResult::Ok;
    }
    if (error.kind != platform::ErrorKind::CrossDevice) return CommitResult::ReplaceFailed;

    TempArchive beside;
    if (!beside.Create(platform::Parent(target), *heartbeat_, error)) return CommitResult::CreateFailed;
    if (!CopyContents(path_, beside.file_, *heartbeat_, error)) return CommitResult::ReplaceFailed;
    CommitResult result = beside.Commit(target, modified, error);
    if (result == CommitResult::Ok && !Remove(error)) return CommitResult::LeftBehind;
    return result;
}
