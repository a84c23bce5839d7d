// Reads the central directory of an existing archive. The bytes are
// untrusted: every length and offset is checked against the file before
// use, and anything inconsistent makes the archive "not a readable ZIP".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Random access to the bytes of an existing archive.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly size bytes at offset; false on a read error or short read.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

struct ExistingEntry {
    std::string storedName;       // name bytes as stored
    std::string name;             // the same name in UTF-8, for matching
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::string extra;            // central extra fields without the Zip64 field
    std::string comment;
    std::uint64_t localOffset = 0;  // where its local header starts in the source
    std::uint64_t recordSize = 0;   // local header, data and descriptor: what a raw copy takes
};

enum class ReadResult { Ok, NotZip, ReadError };

using EntryHandler = std::function<void(const ExistingEntry&)>;

// Reads the archive's comment and checks its entries one by one, handing
// each to onEntry as it goes; on anything but Ok, the entries handed on so
// far are not to be used.
ReadResult ReadArchive(ByteSource& source, std::string& comment, const EntryHandler& onEntry);
