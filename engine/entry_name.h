// How a name is stored in the archive: ASCII as it is; names that code page
// 932 can represent in code page 932 with a Unicode Path extra field holding
// the UTF-8 form; all other names in UTF-8 with general-purpose bit 11.
#pragma once

#include <cstdint>
#include <string>

struct StoredName {
    std::string bytes;         // the name field of both headers
    std::uint16_t flags = 0;   // kFlagUtf8 or 0
    std::string extra;         // the whole Unicode Path extra field, or empty
};

StoredName MakeStoredName(const std::string& utf8);
