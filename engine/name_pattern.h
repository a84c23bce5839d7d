// Name patterns of the request: '*' any run of characters, '?' one
// character, "[...]" one character of a class with ranges ("a-z") and
// negation ("[!...]" or "[^...]"). A '-' first or last in a class and a '['
// inside one stand for themselves, so "[[]" matches "[" and "[-]" matches
// "-". A '[' without closing ']' is an ordinary character. Patterns apply to
// one path component; characters are code points, not bytes.
#pragma once

#include <string_view>

// True when the pattern has a '*', a '?' or a closed class; otherwise it names
// exactly one thing.
bool HasWildcards(std::u32string_view pattern);
bool MatchName(std::u32string_view pattern, std::u32string_view name, bool ignoreCase);
