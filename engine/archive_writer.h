// Writes the new archive: local headers, raw copies, the central directory,
// and the end records, with Zip64 wherever a size, offset or count needs it.
#pragma once

#include "archive_reader.h"
#include "dos_time.h"
#include "heartbeat.h"
#include "platform.h"
#include "record_store.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One entry as the central directory will describe it.
struct EntryRecord : CentralFields {
    std::string localExtra;   // extra fields of the local header, Zip64 aside
    bool localZip64 = false;  // the local header carries the Zip64 field
};

// The central record of an entry copied raw from the old archive.
EntryRecord RecordFromExisting(const ExistingEntry& entry);

// Whether an entry of this size may outgrow 32 bits once compressed (deflate
// can add a little, LF -> CR/LF can double a text file).
bool MayNeedZip64(std::uint64_t inputSize, bool mayDouble);

// Buffered output to the temporary file, with a position, patching of
// headers already written and rewinding of an entry that failed.
class ArchiveOutput {
public:
    explicit ArchiveOutput(platform::File& file) : file_(file) {}
    bool Write(std::string_view bytes);
    std::uint64_t Position() const { return position_; }
    bool PatchAt(std::uint64_t offset, std::string_view bytes);
    bool Rewind(std::uint64_t offset);
    // Flushes, cuts the file at the position and forces it to the disk
    // (beating the heartbeat meanwhile, when there is one).
    bool Finish(Heartbeat* heartbeat);
    const platform::Error& LastError() const { return error_; }

private:
    bool Drain();
    platform::File& file_;
    std::string buffer_;
    std::uint64_t position_ = 0;   // logical end, buffer included
    std::uint64_t flushed_ = 0;    // where the file pointer is
    platform::Error error_;
};

class ArchiveWriter {
public:
    // The heartbeat is beaten at every MiB copied and every directory record.
    ArchiveWriter(ArchiveOutput& out, const platform::Path& scratch, Heartbeat* heartbeat)
        : out_(out), directory_(scratch), heartbeat_(heartbeat) {}

    // Writes the local header of a new entry; CompleteEntry writes it again
    // (method, CRC and sizes) once the data is written behind it.
    bool BeginEntry(EntryRecord& record);
    bool CompleteEntry(const EntryRecord& record);
    // Copies an entry's local record from the old archive unchanged.
    enum class CopyResult { Ok, ReadFailed, WriteFailed };
    CopyResult CopyEntry(ByteSource& source, const ExistingEntry& entry, EntryRecord& record);
    // Drops the entry begun last (its file could not be read).
    bool AbandonEntry(const EntryRecord& record);
    // The entry's central header is kept as the bytes it will be written as,
    // in a scratch file once there are many.
    void AddToDirectory(const EntryRecord& record);
    std::uint64_t Count() const { return directory_.Count(); }
    bool Finish(std::string_view comment);

private:
    ArchiveOutput& out_;
    RecordSpool directory_;
    Heartbeat* heartbeat_;
};
