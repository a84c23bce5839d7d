// Conversions between UTF-16 (the program's text) and code page 932 (the
// engine's text). Always code page 932, whatever the system's ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The exact code page 932 bytes of text, or nothing when some character has
// no code page 932 form (it would otherwise become '?' or a look-alike).
std::optional<std::string> ToCodePage932(std::wstring_view text);

// Code page 932 bytes as UTF-16. Bytes that form no character become U+FFFD
// (Windows: the system's replacement), so the result is never empty for
// non-empty input.
std::wstring FromCodePage932(std::string_view bytes);

// Like ToCodePage932, but a character without a code page 932 form becomes
// '?': for free text the user typed (comments, passwords), never for paths.
std::string ToCodePage932Lossy(std::wstring_view text);
