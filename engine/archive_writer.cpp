#include "archive_writer.h"

#include "zip_format.h"

#include <algorithm>

using namespace zipfmt;

namespace {

constexpr std::size_t kOutputBuffer = 1 << 20;
constexpr std::uint16_t kZip64LocalFieldSize = 20;  // id, length, two sizes

std::string LocalHeader(const EntryRecord& r) {
    Bytes h;
    h.U32(kLocalSignature);
    h.U16(r.versionNeeded);
    h.U16(r.flags);
    h.U16(r.method);
    h.U16(r.time.time);
    h.U16(r.time.date);
    h.U32(r.crc);
    h.U32(r.localZip64 ? kMax32 : static_cast<std::uint32_t>(r.compressedSize));
    h.U32(r.localZip64 ? kMax32 : static_cast<std::uint32_t>(r.size));
    h.U16(static_cast<std::uint16_t>(r.storedName.size()));
    h.U16(static_cast<std::uint16_t>((r.localZip64 ? kZip64LocalFieldSize : 0) + r.localExtra.size()));
    h.Raw(r.storedName);
    if (r.localZip64) {
        h.U16(kExtraZip64);
        h.U16(16);
        h.U64(r.size);
        h.U64(r.compressedSize);
    }
    h.Raw(r.localExtra);
    return h.Data();
}

std::string CentralHeader(const EntryRecord& r) {
    bool bigSize = r.localZip64 || r.size >= kMax32;
    bool bigCompressed = r.localZip64 || r.compressedSize >= kMax32;
    bool bigOffset = r.localOffset >= kMax32;
    Bytes zip64;
    if (bigSize) zip64.U64(r.size);
    if (bigCompressed) zip64.U64(r.compressedSize);
    if (bigOffset) zip64.U64(r.localOffset);
    bool anyZip64 = zip64.Size() > 0;

    Bytes h;
    h.U32(kCentralSignature);
    h.U16(anyZip64 ? std::max<std::uint16_t>(r.versionMadeBy, kVersionZip64) : r.versionMadeBy);
    h.U16(anyZip64 ? std::max<std::uint16_t>(r.versionNeeded, kVersionZip64) : r.versionNeeded);
    h.U16(r.flags);
    h.U16(r.method);
    h.U16(r.time.time);
    h.U16(r.time.date);
    h.U32(r.crc);
    h.U32(bigCompressed ? kMax32 : static_cast<std::uint32_t>(r.compressedSize));
    h.U32(bigSize ? kMax32 : static_cast<std::uint32_t>(r.size));
    h.U16(static_cast<std::uint16_t>(r.storedName.size()));
    h.U16(static_cast<std::uint16_t>((anyZip64 ? 4 + zip64.Size() : 0) + r.centralExtra.size()));
    h.U16(static_cast<std::uint16_t>(r.comment.size()));
    h.U16(0);
    h.U16(r.internalAttributes);
    h.U32(r.externalAttributes);
    h.U32(bigOffset ? kMax32 : static_cast<std::uint32_t>(r.localOffset));
    h.Raw(r.storedName);
    if (anyZip64) {
        h.U16(kExtraZip64);
        h.U16(static_cast<std::uint16_t>(zip64.Size()));
        h.Raw(zip64.Data());
    }
    h.Raw(r.centralExtra);
    h.Raw(r.comment);
    return h.Data();
}

std::string EndRecords(std::uint64_t count, std::uint64_t dirOffset, std::uint64_t dirSize, std::string_view comment) {
    Bytes e;
    bool zip64 = count >= kMax16 || dirOffset >= kMax32 || dirSize >= kMax32;
    if (zip64) {
        std::uint64_t recordAt = dirOffset + dirSize;
        e.U32(kZip64EndSignature);
        e.U64(kZ64EndSize - 12);
        e.U16(kVersionZip64);
        e.U16(kVersionZip64);
        e.U32(0);
        e.U32(0);
        e.U64(count);
        e.U64(count);
        e.U64(dirSize);
        e.U64(dirOffset);
        e.U32(kZip64LocatorSignature);
        e.U32(0);
        e.U64(recordAt);
        e.U32(1);
    }
    e.U32(kEndSignature);
    e.U16(0);
    e.U16(0);
    std::uint16_t shortCount = count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count);
    e.U16(shortCount);
    e.U16(shortCount);
    e.U32(dirSize >= kMax32 ? kMax32 : static_cast<std::uint32_t>(dirSize));
    e.U32(dirOffset >= kMax32 ? kMax32 : static_cast<std::uint32_t>(dirOffset));
    e.U16(static_cast<std::uint16_t>(comment.size()));
    e.Raw(comment);
    return e.Data();
}

}  // namespace

EntryRecord RecordFromExisting(const ExistingEntry& entry) {
    EntryRecord r;
    static_cast<CentralFields&>(r) = entry;
    r.localOffset = 0;  // where the copy goes: the writer's to say
    return r;
}

bool MayNeedZip64(std::uint64_t inputSize, bool mayDouble) {
    std::uint64_t worst = mayDouble ? inputSize * 2 : inputSize;
    // Stored blocks add 5 bytes per 16 KiB at worst, plus the encryption header.
    return worst + worst / 3000 + 1024 >= kMax32;
}

bool ArchiveOutput::Drain() {
    if (buffer_.empty()) return true;
    if (!file_.Write(buffer_.data(), buffer_.size(), error_)) return false;
    flushed_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool ArchiveOutput::Write(std::string_view bytes) {
    buffer_.append(bytes);
    position_ += bytes.size();
    return buffer_.size() < kOutputBuffer || Drain();
}

bool ArchiveOutput::PatchAt(std::uint64_t offset, std::string_view bytes) {
    if (offset >= flushed_) {
        buffer_.replace(static_cast<std::size_t>(offset - flushed_), bytes.size(), bytes);
        return true;
    }
    return Drain() && file_.Seek(offset, error_) && file_.Write(bytes.data(), bytes.size(), error_) &&
           file_.Seek(flushed_, error_);
}

bool ArchiveOutput::Rewind(std::uint64_t offset) {
    position_ = offset;
    if (offset >= flushed_) {
        buffer_.resize(static_cast<std::size_t>(offset - flushed_));
        return true;
    }
    buffer_.clear();
    flushed_ = offset;
    return file_.Seek(offset, error_);
}

bool ArchiveOutput::Finish(Heartbeat* heartbeat) {
    if (!Drain() || !file_.Truncate(error_)) return false;
    auto flush = [this]() { return file_.Flush(error_); };
    return heartbeat ? heartbeat->Call(flush) : flush();
}

bool ArchiveWriter::BeginEntry(EntryRecord& record) {
    record.localOffset = out_.Position();
    return out_.Write(LocalHeader(record));
}

bool ArchiveWriter::CompleteEntry(const EntryRecord& record) {
    return out_.PatchAt(record.localOffset, LocalHeader(record));
}

ArchiveWriter::CopyResult ArchiveWriter::CopyEntry(ByteSource& source, const ExistingEntry& entry, EntryRecord& record) {
    record = RecordFromExisting(entry);
    record.localOffset = out_.Position();
    std::string chunk;
    for (std::uint64_t done = 0; done < entry.recordSize;) {
        Beat(heartbeat_);
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kOutputBuffer, entry.recordSize - done));
        chunk.resize(n);
        if (!source.ReadAt(entry.localOffset + done, chunk.data(), n)) return CopyResult::ReadFailed;
        if (!out_.Write(chunk)) return CopyResult::WriteFailed;
        done += n;
    }
    return CopyResult::Ok;
}

bool ArchiveWriter::AbandonEntry(const EntryRecord& record) { return out_.Rewind(record.localOffset); }

void ArchiveWriter::AddToDirectory(const EntryRecord& record) { directory_.Add(CentralHeader(record)); }

bool ArchiveWriter::Finish(std::string_view comment) {
    std::uint64_t dirOffset = out_.Position();
    RecordSpool::Reader headers = directory_.Read();
    for (std::string_view header; headers.Next(header);) {
        Beat(heartbeat_);
        if (!out_.Write(header)) return false;
    }
    std::uint64_t dirSize = out_.Position() - dirOffset;
    return out_.Write(EndRecords(Count(), dirOffset, dirSize, comment)) && out_.Finish(heartbeat_);
}
