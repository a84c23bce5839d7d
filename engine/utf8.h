// One code point as UTF-8. The program builds this file too, so that the
// engine and the program write UTF-8 alike.
#pragma once

#include <string>

namespace text {

// c must be a Unicode scalar value (no surrogate, at most U+10FFFF).
void AppendUtf8(char32_t c, std::string& out);

}  // namespace text
