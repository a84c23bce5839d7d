#include "new_record.h"

#include "dos_time.h"
#include "entry_name.h"
#include "update_plan.h"
#include "zip_format.h"

#include <algorithm>

using namespace zipfmt;

namespace {

// "Made by" MS-DOS (FAT attributes), format version 2.0.
constexpr std::uint16_t kMadeBy = 20;

std::string TimestampField(std::int64_t modified) {
    Bytes field;
    field.U16(kExtraTimestamp);
    field.U16(5);
    field.U8(1);  // modification time only
    std::int64_t clamped = std::clamp<std::int64_t>(modified, 0, 0x7FFFFFFF);
    field.U32(static_cast<std::uint32_t>(clamped));
    return field.Data();
}

void DescribeMethod(EntryRecord& record, bool deflated) {
    record.method = deflated ? kMethodDeflate : kMethodStore;
    record.versionNeeded = deflated || (record.flags & kFlagEncrypted) ? kVersionDeflate : kVersionStore;
    if (record.localZip64) record.versionNeeded = kVersionZip64;
}

}  // namespace

EntryRecord NewRecord(const std::string& name, std::int64_t modified, std::uint32_t attributes, bool withTimestamp) {
    StoredName stored = MakeStoredName(name);
    EntryRecord record;
    record.storedName = stored.bytes;
    record.flags = stored.flags;
    record.versionMadeBy = kMadeBy;
    record.versionNeeded = kVersionStore;
    record.method = kMethodStore;
    record.time = ToDosTime(modified);
    record.externalAttributes = attributes;
    std::string extra = withTimestamp ? TimestampField(modified) : std::string();
    record.localExtra = extra + stored.extra;
    record.centralExtra = extra + stored.extra;
    return record;
}

EntryRecord LabelRecord(const std::string& label) { return NewRecord(label, 0, kVolumeLabelAttribute, false); }

void Describe(EntryRecord& record, const CompressSettings& settings, std::uint64_t inputSize) {
    if (settings.encrypt) record.flags |= kFlagEncrypted;
    record.localZip64 = MayNeedZip64(inputSize, settings.lineEnds == LineEnds::ToCrLf);
    DescribeMethod(record, settings.deflate);
}

void DescribeData(EntryRecord& record, const CompressedEntry& result) {
    DescribeMethod(record, result.deflated);
    record.crc = result.crc;
    record.size = result.size;
    record.compressedSize = result.compressedSize;
}
