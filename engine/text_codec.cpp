#include "text_codec.h"

#include "utf8.h"
#include "zip32.h"

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#endif

namespace text {
namespace {

#if defined(_WIN32)
constexpr unsigned kCodePage932 = 932;

bool ToWide(unsigned codePage, std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out.data(),
                               n) == n;
}

bool FromWide(unsigned codePage, std::wstring_view in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    BOOL usedDefault = FALSE;
    DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL* used = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, used);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr, used);
    return !usedDefault;
}

bool Convert(unsigned from, unsigned to, std::string_view in, std::string& out) {
    std::wstring wide;
    return ToWide(from, in, wide) && FromWide(to, wide, out);
}
#endif

}  // namespace

#if defined(_WIN32)
Cp932Codec::~Cp932Codec() = default;

bool Cp932Codec::ToUtf8(std::string_view cp932, std::string& utf8) {
    return Convert(kCodePage932, CP_UTF8, cp932, utf8);
}

bool Cp932Codec::FromUtf8(std::string_view utf8, std::string& cp932) {
    std::string back;
    return Convert(CP_UTF8, kCodePage932, utf8, cp932) && ToUtf8(cp932, back) && back == utf8;
}
#else
Cp932Codec::~Cp932Codec() {
    for (void* cd : {toUtf8_, fromUtf8_})
        if (cd) iconv_close(static_cast<iconv_t>(cd));
}

bool Cp932Codec::ToUtf8(std::string_view cp932, std::string& utf8) {
    return Run(toUtf8_, "UTF-8", "CP932", cp932, utf8);
}

bool Cp932Codec::FromUtf8(std::string_view utf8, std::string& cp932) {
    std::string back;
    return Run(fromUtf8_, "CP932", "UTF-8", utf8, cp932) && ToUtf8(cp932, back) && back == utf8;
}

bool Cp932Codec::Run(void*& handle, const char* to, const char* from, std::string_view in, std::string& out) {
    out.clear();
    if (!handle) {
        iconv_t cd = iconv_open(to, from);
        if (cd == reinterpret_cast<iconv_t>(-1)) return false;
        handle = cd;
    }
    iconv_t cd = static_cast<iconv_t>(handle);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    bool ok = true;
    char buffer[256];
    while (ok && srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        ok = r != static_cast<std::size_t>(-1) || errno == E2BIG;
    }
    return ok;
}
#endif

std::string Cp932Codec::Readable(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    std::string out, one;
    if (FromUtf8(utf8, out)) return out;
    out.clear();
    char note[16];
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t codePoint = 0;
        std::size_t length = DecodeOne(utf8, at, codePoint);
        if (length == 0) {
            std::snprintf(note, sizeof note, "<0x%02X>", static_cast<unsigned char>(utf8[at]));
            out += note;
            ++at;
            continue;
        }
        if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (FromUtf8(utf8.substr(at, length), one)) {
            out += one;
        } else {
            std::snprintf(note, sizeof note, "<U+%04X>", static_cast<unsigned>(codePoint));
            out += note;
        }
        at += length;
    }
    return out;
}

bool Cp932ToUtf8(std::string_view cp932, std::string& utf8) { return Cp932Codec().ToUtf8(cp932, utf8); }

bool Utf8ToCp932(std::string_view utf8, std::string& cp932) { return Cp932Codec().FromUtf8(utf8, cp932); }

bool RequestToUtf8(std::string_view request, std::string& utf8) {
    const std::string_view mark = kZipUtf8Mark;
    if (request.substr(0, mark.size()) != mark) return Cp932ToUtf8(request, utf8);
    utf8 = request.substr(mark.size());
    return IsValidUtf8(utf8);
}

bool IsAscii(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return false;
    return true;
}

bool IsValidUtf8(std::string_view bytes) {
    return FromCodePoints(ToCodePoints(bytes)) == bytes;
}

std::size_t DecodeOne(std::string_view utf8, std::size_t at, char32_t& codePoint) {
    unsigned char c = static_cast<unsigned char>(utf8[at]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || at + static_cast<std::size_t>(extra) >= utf8.size()) return 0;
    char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k <= extra; ++k) {
        unsigned char t = static_cast<unsigned char>(utf8[at + static_cast<std::size_t>(k)]);
        if ((t & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    codePoint = cp;
    return static_cast<std::size_t>(extra) + 1;
}

std::u32string ToCodePoints(std::string_view utf8) {
    std::u32string out;
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t cp = 0;
        std::size_t length = DecodeOne(utf8, at, cp);
        out += length == 0 ? U'\uFFFD' : cp;
        at += length == 0 ? 1 : length;
    }
    return out;
}

std::string FromCodePoints(std::u32string_view codePoints) {
    std::string out;
    for (char32_t cp : codePoints) AppendUtf8(cp, out);
    return out;
}

}  // namespace text
