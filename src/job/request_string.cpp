#include "job/request_string.h"

#include "base/codepage932.h"
#include "utf8.h"
#include "zip32.h"

namespace {

constexpr std::string_view kMark = kZipUtf8Mark;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-16 (Windows) or UTF-32 (the native build's wchar_t) as UTF-8.
std::optional<std::string> ToUtf8(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
            return std::nullopt;
        }
        text::AppendUtf8(c, out);
    }
    return out;
}

}  // namespace

std::optional<std::string> ToRequestString(std::wstring_view text) {
    if (auto cp932 = ToCodePage932(text)) return cp932;
    auto utf8 = ToUtf8(text);
    if (!utf8) return std::nullopt;
    return std::string(kMark) + *utf8;
}

std::size_t RequestStringBytes(std::wstring_view text) {
    const std::string bytes = ToRequestString(text).value_or("");
    return bytes.starts_with(kMark) ? bytes.size() - kMark.size() : bytes.size();
}
