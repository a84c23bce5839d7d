// The new archive's temporary file, and the one step that puts it in place
// of the old archive. Until Commit succeeds the old archive is untouched;
// whatever happens, the temporary file does not outlive this object.
#pragma once

#include "heartbeat.h"
#include "lock_wait.h"
#include "platform.h"

#include <cstdint>
#include <optional>

// A file of the run's own in folder, with a name of its own, that goes when
// it is closed or the process ends.
bool CreateScratchFile(const platform::Path& folder, platform::File& file, platform::Error& error);

class TempArchive {
public:
    TempArchive() = default;
    ~TempArchive();
    TempArchive(const TempArchive&) = delete;
    TempArchive& operator=(const TempArchive&) = delete;

    // A new file with a name of its own in folder. The run's heartbeat beats
    // while an operation on the file waits for another program's lock to go
    // or a copy is made; a stop then throws RunStopped, the archive untouched.
    bool Create(const platform::Path& folder, Heartbeat& heartbeat, platform::Error& error);
    platform::File& File() { return file_; }

    // LeftBehind: the archive is in place, but the copy in the work
    // directory could not be deleted.
    enum class CommitResult { Ok, CreateFailed, ReplaceFailed, LeftBehind };
    // Closes the file, gives it the modification time when asked, and
    // renames it over target in one step. From another drive (the work
    // directory) it is first copied beside target, so the last step is
    // still a rename on the target's own drive; a stop during that copy
    // leaves no copy behind.
    CommitResult Commit(const platform::Path& target, std::optional<std::int64_t> modified, platform::Error& error);

private:
    bool Remove(platform::Error& error);

    platform::File file_;
    platform::Path path_;
    Heartbeat* heartbeat_ = nullptr;
};
