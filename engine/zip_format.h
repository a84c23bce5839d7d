// The ZIP container's records as named offsets, and explicit little-endian
// reads and writes. No packed structs: every field is placed by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zipfmt {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;

// Local file header.
enum Local : std::size_t {
    kLocSignature = 0, kLocVersionNeeded = 4, kLocFlags = 6, kLocMethod = 8, kLocTime = 10, kLocDate = 12,
    kLocCrc = 14, kLocCompressedSize = 18, kLocSize = 22, kLocNameLength = 26, kLocExtraLength = 28,
    kLocHeaderSize = 30,
};

// Central directory file header.
enum Central : std::size_t {
    kCenSignature = 0, kCenVersionMadeBy = 4, kCenVersionNeeded = 6, kCenFlags = 8, kCenMethod = 10,
    kCenTime = 12, kCenDate = 14, kCenCrc = 16, kCenCompressedSize = 20, kCenSize = 24, kCenNameLength = 28,
    kCenExtraLength = 30, kCenCommentLength = 32, kCenDiskStart = 34, kCenInternalAttributes = 36,
    kCenExternalAttributes = 38, kCenLocalOffset = 42, kCenHeaderSize = 46,
};

// End of central directory record.
enum End : std::size_t {
    kEndSignatureAt = 0, kEndDisk = 4, kEndDirectoryDisk = 6, kEndEntriesHere = 8, kEndEntries = 10,
    kEndDirectorySize = 12, kEndDirectoryOffset = 16, kEndCommentLength = 20, kEndRecordSize = 22,
};

// Zip64 end of central directory record and its locator.
enum Zip64End : std::size_t {
    kZ64SignatureAt = 0, kZ64RecordSize = 4, kZ64VersionMadeBy = 12, kZ64VersionNeeded = 14, kZ64Disk = 16,
    kZ64DirectoryDisk = 20, kZ64EntriesHere = 24, kZ64Entries = 32, kZ64DirectorySize = 40,
    kZ64DirectoryOffset = 48, kZ64EndSize = 56,
};
enum Zip64Locator : std::size_t {
    kLocatorSignatureAt = 0, kLocatorDisk = 4, kLocatorEndOffset = 8, kLocatorDisks = 16, kLocatorSize = 20,
};

// Extra fields this engine writes.
constexpr std::uint16_t kExtraZip64 = 0x0001;
constexpr std::uint16_t kExtraTimestamp = 0x5455;
constexpr std::uint16_t kExtraUnicodePath = 0x7075;

// General purpose flags and methods.
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMethodStore = 0;
constexpr std::uint16_t kMethodDeflate = 8;

// "Version needed to extract" values.
constexpr std::uint16_t kVersionStore = 10;
constexpr std::uint16_t kVersionDeflate = 20;
constexpr std::uint16_t kVersionZip64 = 45;

// Beyond these a field moves into the Zip64 extra field.
constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint16_t kMax16 = 0xFFFFu;

// Largest archive comment.
constexpr std::size_t kMaxComment = 0xFFFF;

inline std::uint16_t Get16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Get64(const unsigned char* p) {
    return static_cast<std::uint64_t>(Get32(p)) | (static_cast<std::uint64_t>(Get32(p + 4)) << 32);
}

inline void Put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void Put64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void Append32(std::string& out, std::uint32_t v) {
    unsigned char b[4];
    Put32(b, v);
    out.append(reinterpret_cast<const char*>(b), 4);
}

// Grows a byte string field by field, for extra fields and whole records.
class Bytes {
public:
    void U8(std::uint8_t v) { data_.push_back(static_cast<char>(v)); }
    void U16(std::uint16_t v) { unsigned char b[2]; Put16(b, v); Append(b, 2); }
    void U32(std::uint32_t v) { Append32(data_, v); }
    void U64(std::uint64_t v) { unsigned char b[8]; Put64(b, v); Append(b, 8); }
    void Raw(std::string_view s) { data_.append(s); }
    std::size_t Size() const { return data_.size(); }
    const std::string& Data() const { return data_; }

private:
    void Append(const unsigned char* b, std::size_t n) { data_.append(reinterpret_cast<const char*>(b), n); }
    std::string data_;
};

}  // namespace zipfmt
