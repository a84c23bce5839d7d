// The central records of the entries a run writes itself: files, folders
// and the volume label. (An entry copied from the old archive keeps its
// own, RecordFromExisting.) A file's record is described twice: as far as
// it is known before the data is written, for the local header, and once
// the data is written.
#pragma once

#include "archive_writer.h"
#include "entry_compressor.h"

#include <cstdint>
#include <string>

// A stored entry of the UTF-8 name, with the extended timestamp field
// unless withTimestamp is false.
EntryRecord NewRecord(const std::string& name, std::int64_t modified, std::uint32_t attributes, bool withTimestamp);
// The volume label's entry: no time of its own and no timestamp field.
EntryRecord LabelRecord(const std::string& label);

// Before the data: encryption, and whether the local header needs Zip64
// (deflated is a guess until the data is written).
void Describe(EntryRecord& record, const CompressSettings& settings, std::uint64_t inputSize);
// Once the data is written: method, CRC and sizes.
void DescribeData(EntryRecord& record, const CompressedEntry& result);
