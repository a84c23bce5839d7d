// Names compared as Windows compares file names when case is ignored: each
// character of the Basic Multilingual Plane in upper case by the system's
// table (so full-width "Ａ" and "ａ" are one name, as "A" and "a" are), every
// other character as it is. Windows takes the table from the system; the
// native build takes the simple upper-case mappings of the C.UTF-8 locale.
#pragma once

namespace text {

char32_t FoldCase(char32_t c);

}  // namespace text
