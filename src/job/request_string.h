// The strings of a request as the engine takes them (zip32.h): code page 932
// where it writes the text exactly, byte for byte as the engine has always
// taken them; any other text as kZipUtf8Mark followed by its UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Nothing only for text that is no Unicode (a lone UTF-16 surrogate), which
// no archive can record.
std::optional<std::string> ToRequestString(std::wstring_view text);

// The bytes text takes in its request string, the mark not counted; 0 for
// text that is no Unicode.
std::size_t RequestStringBytes(std::wstring_view text);
