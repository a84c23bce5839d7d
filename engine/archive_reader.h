// Reads the central directory of an existing archive. The bytes are
// untrusted: every length and offset is checked against the file before
// use, and anything inconsistent makes the archive "not a readable ZIP".
#pragma once

#include "central_fields.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Random access to the bytes of an existing archive.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly size bytes at offset; false on a read error or short read.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

// An entry of the old archive: its central fields (localOffset: where its
// local header starts in the source), and what the run needs besides.
struct ExistingEntry : CentralFields {
    std::string name;              // the stored name in UTF-8, for matching
    std::uint64_t recordSize = 0;  // local header, data and descriptor: what a raw copy takes
};

// As a record of the run's bookkeeping, and back.
std::string EncodeExistingEntry(const ExistingEntry& entry);
ExistingEntry DecodeExistingEntry(std::string_view record);

enum class ReadResult { Ok, NotZip, ReadError };

using EntryHandler = std::function<void(const ExistingEntry&)>;

// Reads the archive's comment and checks its entries one by one, handing
// each to onEntry as it goes; on anything but Ok, the entries handed on so
// far are not to be used.
ReadResult ReadArchive(ByteSource& source, std::string& comment, const EntryHandler& onEntry);
