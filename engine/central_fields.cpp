#include "central_fields.h"

void WriteCentralFields(const CentralFields& f, RecordOut& out) {
    out.Str(f.storedName).U32(f.versionMadeBy).U32(f.versionNeeded).U32(f.flags).U32(f.method);
    out.U32(f.time.time).U32(f.time.date).U32(f.crc).U64(f.compressedSize).U64(f.size).U32(f.internalAttributes);
    out.U32(f.externalAttributes).Str(f.centralExtra).Str(f.comment).U64(f.localOffset);
}

void ReadCentralFields(RecordIn& in, CentralFields& f) {
    f.storedName = in.Str();
    f.versionMadeBy = static_cast<std::uint16_t>(in.U32());
    f.versionNeeded = static_cast<std::uint16_t>(in.U32());
    f.flags = static_cast<std::uint16_t>(in.U32());
    f.method = static_cast<std::uint16_t>(in.U32());
    f.time.time = static_cast<std::uint16_t>(in.U32());
    f.time.date = static_cast<std::uint16_t>(in.U32());
    f.crc = in.U32();
    f.compressedSize = in.U64();
    f.size = in.U64();
    f.internalAttributes = static_cast<std::uint16_t>(in.U32());
    f.externalAttributes = in.U32();
    f.centralExtra = in.Str();
    f.comment = in.Str();
    f.localOffset = in.U64();
}
