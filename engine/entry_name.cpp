#include "entry_name.h"

#include "text_codec.h"
#include "zip_format.h"

#include <zlib.h>

using namespace zipfmt;

StoredName MakeStoredName(const std::string& utf8) {
    StoredName stored;
    if (text::IsAscii(utf8)) {
        stored.bytes = utf8;
        return stored;
    }
    if (text::Utf8ToCp932(utf8, stored.bytes)) {
        Bytes field;
        field.U16(kExtraUnicodePath);
        field.U16(static_cast<std::uint16_t>(5 + utf8.size()));
        field.U8(1);
        field.U32(static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(stored.bytes.data()), static_cast<uInt>(stored.bytes.size()))));
        field.Raw(utf8);
        stored.extra = field.Data();
        return stored;
    }
    stored.bytes = utf8;
    stored.flags = kFlagUtf8;
    return stored;
}
