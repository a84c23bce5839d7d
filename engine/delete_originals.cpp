#include "delete_originals.h"

#include "file_walker.h"
#include "lock_wait.h"

#include <cstdint>

namespace {

class Deleter {
public:
    Deleter(Reporter& report, Heartbeat& heartbeat) : report_(report), heartbeat_(heartbeat) {}

    void DeleteStoredFiles(RecordSpool& stored) {
        RecordSpool::Reader reader = stored.Read();
        for (std::string_view record; reader.Next(record);) {
            heartbeat_.Beat();
            FoundItem item = DecodeFoundItem(record);
            platform::FileInfo now;
            platform::Error error;
            if (platform::Stat(item.path, now, error) &&
                (now.size != item.info.size || now.modified != item.info.modified)) {
                ++kept;
                report_.Problem(msg::ChangedSinceStored(item.relative));
                continue;
            }
            auto remove = [&](platform::Error& e) { return platform::RemoveFile(item.path, e); };
            if (RetryWhileLocked(remove, error, heartbeat_)) {
                ++deleted;
                continue;
            }
            ++kept;
            report_.Problem(msg::CannotDelete(item.relative, msg::Reason(error)));
        }
    }

    // The deepest folders first: a folder empties once those below it go.
    void RemoveEmptiedFolders(RecordSpool& found, const platform::Path& scratch) {
        RecordSorter folders(scratch);
        RecordSpool::Reader reader = found.Read();
        for (std::string_view record; reader.Next(record);) {
            heartbeat_.Beat();
            FoundItem item = DecodeFoundItem(record);
            if (item.info.isDirectory)
                folders.Add(NumberKey(UINT64_MAX - item.path.size()), RecordOut().Path(item.path).Data());
        }
        folders.Sort(&heartbeat_);
        for (std::string_view key, path; folders.Next(key, path);) {
            heartbeat_.Beat();
            platform::RemoveEmptyDirectory(RecordIn(path).Path());
        }
    }

    std::size_t deleted = 0, kept = 0;

private:
    Reporter& report_;
    Heartbeat& heartbeat_;
};

}  // namespace

std::size_t DeleteOriginals(RecordSpool& stored, RecordSpool& found, const platform::Path& scratch, Reporter& report,
                            Heartbeat& heartbeat) {
    Deleter deleter(report, heartbeat);
    try {
        deleter.DeleteStoredFiles(stored);
        deleter.RemoveEmptiedFolders(found, scratch);
    } catch (const ScratchError& e) {
        // The new archive is in place: what was not deleted stays.
        ++deleter.kept;
        report.Problem(msg::DeletingStopped(msg::Reason(e.error)));
    } catch (const RunStopped&) {
        ++deleter.kept;
        report.Problem(msg::DeletingCancelled());
    } catch (...) {
        ++deleter.kept;
        report.Problem(msg::DeletingStopped(msg::NoResourcesReason()));
    }
    report.Progress(msg::Deleted(deleter.deleted));
    return deleter.kept;
}
