#include "archive_reader.h"

#include "text_codec.h"
#include "zip_format.h"

#include <zlib.h>

#include <algorithm>

using namespace zipfmt;

namespace {

// The end record sits in the last 22 + 65,535 bytes (its comment is at most
// that long).
constexpr std::uint64_t kEndSearchSpan = kEndRecordSize + kMaxComment;

struct Directory {
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;   // as the records say
    std::uint64_t shift = 0;    // bytes in front of the archive (a stub), added to every offset
    std::uint64_t end = 0;      // where the directory really ends in the source
};

bool ReadBytes(ByteSource& source, std::uint64_t offset, std::size_t size, std::string& out) {
    out.assign(size, '\0');
    return size == 0 || source.ReadAt(offset, out.data(), size);
}

const unsigned char* U(const std::string& s, std::size_t at = 0) {
    return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

// Finds the end record; false when there is none.
bool FindEnd(ByteSource& source, std::string& tail, std::uint64_t& tailStart, std::size_t& endAt, ReadResult& fail) {
    std::uint64_t fileSize = source.Size();
    if (fileSize < kEndRecordSize) return false;
    std::uint64_t span = std::min(fileSize, kEndSearchSpan);
    tailStart = fileSize - span;
    if (!ReadBytes(source, tailStart, static_cast<std::size_t>(span), tail)) {
        fail = ReadResult::ReadError;
        return false;
    }
    for (std::size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
        if (Get32(U(tail, i)) != kEndSignature) continue;
        std::size_t commentLength = Get16(U(tail, i + kEndCommentLength));
        if (i + kEndRecordSize + commentLength == tail.size()) {
            endAt = i;
            return true;
        }
    }
    return false;
}

// Reads the Zip64 end record when the locator precedes the end record.
ReadResult ReadZip64End(ByteSource& source, std::uint64_t endPos, Directory& dir, bool& found) {
    found = false;
    if (endPos < kLocatorSize) return ReadResult::Ok;
    std::string locator;
    if (!ReadBytes(source, endPos - kLocatorSize, kLocatorSize, locator)) return ReadResult::ReadError;
    if (Get32(U(locator)) != kZip64LocatorSignature) return ReadResult::Ok;
    found = true;
    std::uint64_t recordPos = endPos - kLocatorSize;
    if (recordPos < kZ64EndSize) return ReadResult::NotZip;
    // The record sits right in front of the locator; its stated offset may be
    // off by a stub in front of the archive.
    std::uint64_t z64Pos = recordPos - kZ64EndSize;
    std::string record;
    if (!ReadBytes(source, z64Pos, kZ64EndSize, record)) return ReadResult::ReadError;
    if (Get32(U(record)) != kZip64EndSignature) return ReadResult::NotZip;
    std::uint64_t stated = Get64(U(locator, kLocatorEndOffset));
    if (stated > z64Pos) return ReadResult::NotZip;
    dir.shift = z64Pos - stated;
    dir.entries = Get64(U(record, kZ64Entries));
    dir.size = Get64(U(record, kZ64DirectorySize));
    dir.offset = Get64(U(record, kZ64DirectoryOffset));
    dir.end = z64Pos;
    return ReadResult::Ok;
}

// Applies the Zip64 extra field: the fields whose 32-bit value is all ones
// follow in this order.
bool ApplyZip64(const unsigned char* data, std::size_t size, bool wantSize, bool wantCompressed, bool wantOffset,
                ExistingEntry& entry) {
    std::size_t at = 0;
    auto take = [&](std::uint64_t& v) {
        if (at + 8 > size) return false;
        v = Get64(data + at);
        at += 8;
        return true;
    };
    return (!wantSize || take(entry.size)) && (!wantCompressed || take(entry.compressedSize)) &&
           (!wantOffset || take(entry.localOffset));
}

// Walks the central extra fields: applies Zip64, keeps the others, and
// takes the UTF-8 name from a Unicode Path field that still matches.
bool ParseExtra(const std::string& extra, bool wantSize, bool wantCompressed, bool wantOffset, ExistingEntry& entry,
                bool& zip64) {
    std::size_t at = 0;
    bool gotZip64 = false;
    while (at + 4 <= extra.size()) {
        std::uint16_t id = Get16(U(extra, at));
        std::size_t length = Get16(U(extra, at + 2));
        if (at + 4 + length > extra.size()) break;  // trailing junk: keep as it is
        const unsigned char* data = U(extra, at + 4);
        if (id == kExtraZip64) {
            if (!ApplyZip64(data, length, wantSize, wantCompressed, wantOffset, entry)) return false;
            gotZip64 = true;
        } else {
            if (id == kExtraUnicodePath && length > 5 && data[0] == 1 &&
                Get32(data + 1) == crc32(0, U(entry.storedName), static_cast<uInt>(entry.storedName.size()))) {
                std::string name(reinterpret_cast<const char*>(data + 5), length - 5);
                if (text::IsValidUtf8(name)) entry.name = name;
            }
            entry.centralExtra.append(extra, at, 4 + length);
        }
        at += 4 + length;
    }
    if (at < extra.size()) entry.centralExtra.append(extra, at, std::string::npos);
    zip64 = gotZip64;
    return gotZip64 || !(wantSize || wantCompressed || wantOffset);
}

// A raw copy keeps the local header, so it must tell what the central one
// says: the same name and, unless a data descriptor follows the data, the
// same CRC and sizes (from its Zip64 field where the 32-bit ones are full).
bool LocalAgrees(const std::string& local, const ExistingEntry& entry) {
    std::size_t nameLength = Get16(U(local, kLocNameLength));
    if (local.compare(kLocHeaderSize, nameLength, entry.storedName) != 0 || nameLength != entry.storedName.size())
        return false;
    if (entry.flags & kFlagDescriptor) return true;
    std::uint64_t compressed = Get32(U(local, kLocCompressedSize)), size = Get32(U(local, kLocSize));
    if (compressed == kMax32 || size == kMax32) {
        std::size_t at = kLocHeaderSize + nameLength;
        while (at + 4 <= local.size() && Get16(U(local, at)) != kExtraZip64) at += 4 + Get16(U(local, at + 2));
        if (at + 20 > local.size() || Get16(U(local, at + 2)) < 16) return false;
        size = Get64(U(local, at + 4));
        compressed = Get64(U(local, at + 12));
    }
    return Get32(U(local, kLocCrc)) == entry.crc && compressed == entry.compressedSize && size == entry.size;
}

// Checks the local header and measures the record a raw copy takes.
ReadResult MeasureLocal(ByteSource& source, const Directory& dir, bool zip64, ExistingEntry& entry) {
    std::uint64_t start = entry.localOffset;
    if (start > dir.end || dir.end - start < kLocHeaderSize) return ReadResult::NotZip;
    // One read takes the whole header when its extra fields are no longer
    // than the central ones plus a Zip64 field: that is, nearly always.
    std::uint64_t room = dir.end - start;
    std::string local;
    std::size_t likely = kLocHeaderSize + entry.storedName.size() + entry.centralExtra.size() + 20;
    if (!ReadBytes(source, start, static_cast<std::size_t>(std::min<std::uint64_t>(room, likely)), local))
        return ReadResult::ReadError;
    if (Get32(U(local)) != kLocalSignature) return ReadResult::NotZip;
    std::uint64_t length = kLocHeaderSize + static_cast<std::uint64_t>(Get16(U(local, kLocNameLength))) +
                           Get16(U(local, kLocExtraLength));
    if (length > room || entry.compressedSize > room - length) return ReadResult::NotZip;
    if (length <= local.size()) local.resize(static_cast<std::size_t>(length));
    else if (!ReadBytes(source, start, static_cast<std::size_t>(length), local)) return ReadResult::ReadError;
    if (!LocalAgrees(local, entry)) return ReadResult::NotZip;
    length += entry.compressedSize;
    if (entry.flags & kFlagDescriptor) {
        std::uint64_t descriptor = zip64 ? 20 : 12;
        std::string signature;
        if (room - length >= 4) {
            if (!ReadBytes(source, start + length, 4, signature)) return ReadResult::ReadError;
            if (Get32(U(signature)) == kDescriptorSignature) descriptor += 4;
        }
        if (descriptor > room - length) return ReadResult::NotZip;
        length += descriptor;
    }
    entry.recordSize = length;
    return ReadResult::Ok;
}

// The central directory, read a piece at a time.
class DirectoryStream {
public:
    DirectoryStream(ByteSource& source, std::uint64_t offset, std::uint64_t size)
        : source_(source), next_(offset), left_(size) {}

    // The next size bytes into out; NotZip past the directory's end.
    ReadResult Take(std::size_t size, std::string& out) {
        if (buffer_.size() - at_ < size) {
            buffer_.erase(0, at_);
            at_ = 0;
            std::uint64_t want = std::max<std::uint64_t>(size - buffer_.size(), kPiece);
            std::size_t n = static_cast<std::size_t>(std::min(want, left_));
            std::size_t had = buffer_.size();
            buffer_.resize(had + n);
            if (n > 0 && !source_.ReadAt(next_, buffer_.data() + had, n)) return ReadResult::ReadError;
            next_ += n;
            left_ -= n;
            if (buffer_.size() < size) return ReadResult::NotZip;
        }
        out.assign(buffer_, at_, size);
        at_ += size;
        return ReadResult::Ok;
    }
    bool AtEnd() const { return left_ == 0 && at_ == buffer_.size(); }

private:
    // More than the old archive's read-ahead window, so that reading the
    // directory does not take the window from the local headers.
    static constexpr std::uint64_t kPiece = 256 << 10;
    ByteSource& source_;
    std::uint64_t next_, left_;
    std::string buffer_;
    std::size_t at_ = 0;
};

ReadResult ReadEntries(ByteSource& source, const Directory& dir, const EntryHandler& onEntry) {
    DirectoryStream cd(source, dir.offset + dir.shift, dir.size);
    std::string header, rest;
    for (std::uint64_t n = 0; n < dir.entries; ++n) {
        ReadResult taken = cd.Take(kCenHeaderSize, header);
        if (taken != ReadResult::Ok) return taken;
        const unsigned char* h = U(header);
        if (Get32(h) != kCentralSignature) return ReadResult::NotZip;
        std::size_t nameLength = Get16(h + kCenNameLength);
        std::size_t extraLength = Get16(h + kCenExtraLength);
        std::size_t commentLength = Get16(h + kCenCommentLength);
        taken = cd.Take(nameLength + extraLength + commentLength, rest);
        if (taken != ReadResult::Ok) return taken;

        ExistingEntry entry;
        entry.versionMadeBy = Get16(h + kCenVersionMadeBy);
        entry.versionNeeded = Get16(h + kCenVersionNeeded);
        entry.flags = Get16(h + kCenFlags);
        entry.method = Get16(h + kCenMethod);
        entry.time.time = Get16(h + kCenTime);
        entry.time.date = Get16(h + kCenDate);
        entry.crc = Get32(h + kCenCrc);
        entry.compressedSize = Get32(h + kCenCompressedSize);
        entry.size = Get32(h + kCenSize);
        entry.internalAttributes = Get16(h + kCenInternalAttributes);
        entry.externalAttributes = Get32(h + kCenExternalAttributes);
        entry.localOffset = Get32(h + kCenLocalOffset);
        entry.storedName = rest.substr(0, nameLength);
        entry.comment = rest.substr(nameLength + extraLength, commentLength);
        if (entry.storedName.empty()) return ReadResult::NotZip;
        if (entry.flags & kFlagUtf8) entry.name = entry.storedName;
        else if (!text::Cp932ToUtf8(entry.storedName, entry.name)) entry.name = entry.storedName;

        bool zip64 = false;
        std::string extra = rest.substr(nameLength, extraLength);
        if (!ParseExtra(extra, entry.size == kMax32, entry.compressedSize == kMax32, entry.localOffset == kMax32,
                        entry, zip64))
            return ReadResult::NotZip;
        if (entry.localOffset > UINT64_MAX - dir.shift) return ReadResult::NotZip;
        entry.localOffset += dir.shift;
        ReadResult local = MeasureLocal(source, dir, zip64, entry);
        if (local != ReadResult::Ok) return local;
        onEntry(entry);
    }
    // A count that leaves records unread would drop them from the new archive.
    return cd.AtEnd() ? ReadResult::Ok : ReadResult::NotZip;
}

}  // namespace

ReadResult ReadArchive(ByteSource& source, std::string& comment, const EntryHandler& onEntry) {
    comment.clear();
    std::string tail;
    std::uint64_t tailStart = 0;
    std::size_t endAt = 0;
    ReadResult fail = ReadResult::NotZip;
    if (!FindEnd(source, tail, tailStart, endAt, fail)) return fail;
    const unsigned char* end = U(tail, endAt);
    std::uint64_t endPos = tailStart + endAt;
    comment = tail.substr(endAt + kEndRecordSize);
    if (Get16(end + kEndDisk) != 0 || Get16(end + kEndDirectoryDisk) != 0) return ReadResult::NotZip;  // spanned

    Directory dir;
    bool zip64 = false;
    ReadResult z64 = ReadZip64End(source, endPos, dir, zip64);
    if (z64 != ReadResult::Ok) return z64;
    if (!zip64) {
        dir.entries = Get16(end + kEndEntries);
        dir.size = Get32(end + kEndDirectorySize);
        dir.offset = Get32(end + kEndDirectoryOffset);
        dir.end = endPos;
        if (dir.offset > endPos || dir.size > endPos - dir.offset) return ReadResult::NotZip;
        dir.shift = endPos - dir.offset - dir.size;
    }
    // The directory must lie inside the file, end where the end records
    // begin, and have room for the entries it claims.
    if (dir.offset > dir.end || dir.size > dir.end - dir.offset || dir.shift > dir.end - dir.offset - dir.size)
        return ReadResult::NotZip;
    if (dir.offset + dir.size + dir.shift != dir.end) return ReadResult::NotZip;
    if (dir.entries > dir.size / kCenHeaderSize) return ReadResult::NotZip;
    // Entries' data ends where the directory starts.
    dir.end = dir.offset + dir.shift;
    return ReadEntries(source, dir, onEntry);
}

std::string EncodeExistingEntry(const ExistingEntry& entry) {
    RecordOut out;
    WriteCentralFields(entry, out);
    out.Str(entry.name).U64(entry.recordSize);
    return out.Data();
}

ExistingEntry DecodeExistingEntry(std::string_view record) {
    RecordIn in(record);
    ExistingEntry entry;
    ReadCentralFields(in, entry);
    entry.name = in.Str();
    entry.recordSize = in.U64();
    return entry;
}
