#include "text_codec.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#endif

namespace text {
namespace {

constexpr unsigned kCodePage932 = 932;

#if defined(_WIN32)
bool ToWide(unsigned codePage, std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out.data(),
                               n) == n;
}

bool FromWide(unsigned codePage, std::wstring_view in, std::string& out, bool lossy) {
    out.clear();
    if (in.empty()) return true;
    BOOL usedDefault = FALSE;
    DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL* used = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, used);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr, used);
    return lossy || !usedDefault;
}

bool Convert(unsigned from, unsigned to, std::string_view in, std::string& out, bool lossy) {
    std::wstring wide;
    return ToWide(from, in, wide) && FromWide(to, wide, out, lossy);
}
#else
// One conversion with iconv; with lossy, unconvertible UTF-8 characters
// become '?' instead of failing.
bool Convert(const char* from, const char* to, std::string_view in, std::string& out, bool lossy) {
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    bool ok = true;
    char buffer[256];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (!lossy || errno != EILSEQ) {
            ok = false;
            break;
        }
        // Skip one UTF-8 character.
        std::size_t skip = 1;
        while (skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
        src += skip;
        srcLeft -= skip;
        out += '?';
    }
    iconv_close(cd);
    return ok;
}
#endif

}  // namespace

bool Cp932ToUtf8(std::string_view cp932, std::string& utf8) {
#if defined(_WIN32)
    return Convert(kCodePage932, CP_UTF8, cp932, utf8, false);
#else
    (void)kCodePage932;
    return Convert("CP932", "UTF-8", cp932, utf8, false);
#endif
}

bool Utf8ToCp932(std::string_view utf8, std::string& cp932) {
#if defined(_WIN32)
    if (!Convert(CP_UTF8, kCodePage932, utf8, cp932, false)) return false;
#else
    if (!Convert("UTF-8", "CP932", utf8, cp932, false)) return false;
#endif
    std::string back;
    return Cp932ToUtf8(cp932, back) && back == utf8;
}

std::string Utf8ToCp932Lossy(std::string_view utf8) {
    std::string out;
#if defined(_WIN32)
    Convert(CP_UTF8, kCodePage932, utf8, out, true);
#else
    Convert("UTF-8", "CP932", utf8, out, true);
#endif
    return out;
}

bool IsAscii(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return false;
    return true;
}

bool IsValidUtf8(std::string_view bytes) {
    return FromCodePoints(ToCodePoints(bytes)) == bytes;
}

std::u32string ToCodePoints(std::string_view utf8) {
    std::u32string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < utf8.size();
        for (int k = 1; ok && k <= extra; ++k) {
            unsigned char t = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((t & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (t & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += cp;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string FromCodePoints(std::u32string_view codePoints) {
    std::string out;
    for (char32_t cp : codePoints) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace text
