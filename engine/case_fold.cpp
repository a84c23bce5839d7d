#include "case_fold.h"

#include <array>
#include <memory>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <clocale>
#include <cwctype>
#include <locale.h>
#endif

namespace text {
namespace {

using Table = std::array<char16_t, 0x10000>;

// Surrogates are no characters and stay as they are.
constexpr char16_t kSurrogatesBegin = 0xD800, kSurrogatesEnd = 0xE000;

std::unique_ptr<Table> MakeTable() {
    auto table = std::make_unique<Table>();
    for (std::size_t c = 0; c < table->size(); ++c) (*table)[c] = static_cast<char16_t>(c);
#if defined(_WIN32)
    auto upper = [&](std::size_t begin, std::size_t end) {
        std::wstring from(reinterpret_cast<const wchar_t*>(table->data() + begin), end - begin);
        std::wstring to(from.size(), L'\0');
        int n = static_cast<int>(from.size());
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, from.data(), n, to.data(), n, nullptr, nullptr,
                          0) == n)
            for (std::size_t i = 0; i < to.size(); ++i) (*table)[begin + i] = static_cast<char16_t>(to[i]);
    };
    upper(1, kSurrogatesBegin);  // without U+0000, which would end the text for some callers
    upper(kSurrogatesEnd, table->size());
#else
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8) {
        for (std::size_t c = 0; c < table->size(); ++c) {
            if (c >= kSurrogatesBegin && c < kSurrogatesEnd) continue;
            wint_t up = towupper_l(static_cast<wint_t>(c), utf8);
            if (up < 0x10000) (*table)[c] = static_cast<char16_t>(up);
        }
        freelocale(utf8);
    }
#endif
    return table;
}

}  // namespace

char32_t FoldCase(char32_t c) {
    if (c < 0x80) return c >= U'a' && c <= U'z' ? c - (U'a' - U'A') : c;
    if (c >= 0x10000) return c;
    static const std::unique_ptr<Table> table = MakeTable();  // made once, on the first call that needs it
    return (*table)[c];
}

}  // namespace text
