// The fields of an entry's central header, Zip64 resolved: what the old
// archive's reader finds (ExistingEntry) and the writer writes
// (EntryRecord), under one name each.
#pragma once

#include "dos_time.h"
#include "record_store.h"

#include <cstdint>
#include <string>

struct CentralFields {
    std::string storedName;  // name bytes as stored
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    DosTime time;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::string centralExtra;  // extra fields of the central header, Zip64 aside
    std::string comment;
    std::uint64_t localOffset = 0;  // where the local header starts
};

// As part of a record of the run's bookkeeping, and back.
void WriteCentralFields(const CentralFields& fields, RecordOut& out);
void ReadCentralFields(RecordIn& in, CentralFields& fields);
