// Conversions between code page 932 (the interface's byte strings), UTF-8
// (names inside the engine) and code points (for pattern matching). Code page
// 932 is a double-byte set: byte 0x5C can be the trail byte of a character,
// so its strings are only ever split after conversion, never as bytes.
#pragma once

#include <string>
#include <string_view>

namespace text {

// False when the bytes are not valid code page 932.
bool Cp932ToUtf8(std::string_view cp932, std::string& utf8);
// False when some character has no code page 932 form (no best-fit guesses:
// what comes back converts back to exactly the same text).
bool Utf8ToCp932(std::string_view utf8, std::string& cp932);
// A string of the request: code page 932, or kZipUtf8Mark and UTF-8
// (zip32.h). False when it is neither.
bool RequestToUtf8(std::string_view request, std::string& utf8);

// Code page 932 both ways, exactly, for many strings: natively each
// direction's iconv descriptor is opened on first use and kept.
class Cp932Codec {
public:
    Cp932Codec() = default;
    ~Cp932Codec();
    Cp932Codec(const Cp932Codec&) = delete;
    Cp932Codec& operator=(const Cp932Codec&) = delete;

    bool ToUtf8(std::string_view cp932, std::string& utf8);
    bool FromUtf8(std::string_view utf8, std::string& cp932);
    // For the engine's texts: code page 932 where it writes the text; a
    // character it lacks becomes "<U+301C>", a byte that is no UTF-8 "<0x9C>".
    std::string Readable(std::string_view utf8);

private:
    // Native: one iconv conversion, opening the descriptor in handle if need be.
    static bool Run(void*& handle, const char* to, const char* from, std::string_view in, std::string& out);
    void* toUtf8_ = nullptr;    // iconv_t (native)
    void* fromUtf8_ = nullptr;
};

bool IsAscii(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);
// The code point that starts at utf8[at], and the length of its sequence;
// 0 when the bytes there are no UTF-8.
std::size_t DecodeOne(std::string_view utf8, std::size_t at, char32_t& codePoint);
// Code points of a UTF-8 string; invalid bytes become U+FFFD.
std::u32string ToCodePoints(std::string_view utf8);
std::string FromCodePoints(std::u32string_view codePoints);

}  // namespace text
