// libFuzzer target: the name-pattern matcher, checked against a plain memoised matcher written from the pattern rules
// alone. Input: one flag byte (bit 0 ignore case, bit 1 read the rest as UTF-8 rather than one code point per byte),
// then the pattern, a NUL, and the name.
#include "case_fold.h"
#include "name_pattern.h"
#include "text_codec.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Where a class opening at pattern[i] closes: the first ']' after an optional
// negation and an optional leading ']' member; npos where none does.
std::size_t ClassEnd(std::u32string_view pattern, std::size_t i) {
    std::size_t j = i + 1;
    if (j < pattern.size() && (pattern[j] == U'!' || pattern[j] == U'^')) ++j;
    if (j < pattern.size() && pattern[j] == U']') ++j;
    return pattern.find(U']', j);
}

bool ClassHolds(std::u32string_view members, char32_t c) {
    const bool negate = !members.empty() && (members[0] == U'!' || members[0] == U'^');
    bool found = false;
    for (std::size_t i = negate; i < members.size(); ++i) {
        const bool range = i + 2 < members.size() && members[i + 1] == U'-';
        found = found || (range ? members[i] <= c && c <= members[i + 2] : members[i] == c);
        if (range) i += 2;
    }
    return found != negate;
}

// Place by place, each (pattern place, name place) pair worked out once.
bool ReferenceMatches(std::u32string_view pattern, std::u32string_view name) {
    constexpr std::size_t npos = std::u32string_view::npos;
    std::vector<signed char> memo((pattern.size() + 1) * (name.size() + 1), -1);
    auto at = [&](auto& self, std::size_t p, std::size_t n) -> bool {
        signed char& known = memo[p * (name.size() + 1) + n];
        if (known >= 0) return known == 1;
        if (p == pattern.size()) known = n == name.size();
        else if (pattern[p] == U'*') known = self(self, p + 1, n) || (n < name.size() && self(self, p, n + 1));
        else if (n == name.size()) known = false;
        else {
            const std::size_t end = pattern[p] == U'[' ? ClassEnd(pattern, p) : npos;
            const bool one = end != npos ? ClassHolds(pattern.substr(p + 1, end - p - 1), name[n])
                                         : pattern[p] == U'?' || pattern[p] == name[n];
            known = one && self(self, end != npos ? end + 1 : p + 1, n + 1);
        }
        return known == 1;
    };
    return at(at, 0, 0);
}

std::u32string Folded(std::u32string points) {
    for (char32_t& c : points) c = text::FoldCase(c);
    return points;
}

std::u32string CodePoints(std::string_view bytes, bool utf8) {
    if (utf8) return text::ToCodePoints(bytes);
    return std::u32string(bytes.begin(), bytes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 512) return 0;
    bool ignoreCase = (data[0] & 1) != 0, utf8 = (data[0] & 2) != 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::size_t split = rest.find('\0');
    std::string_view patternBytes = rest.substr(0, split);
    std::string_view nameBytes = split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);
    std::u32string pattern = CodePoints(patternBytes, utf8), name = CodePoints(nameBytes, utf8);

    bool matched = MatchName(pattern, name, ignoreCase);
    bool expected = ignoreCase ? ReferenceMatches(Folded(pattern), Folded(name)) : ReferenceMatches(pattern, name);
    if (matched != expected) std::abort();
    // A pattern without wildcards is a plain name.
    if (!HasWildcards(pattern) && !ignoreCase && matched != (pattern == name)) std::abort();
    if (utf8 && text::IsValidUtf8(patternBytes) && text::FromCodePoints(pattern) != patternBytes)
        std::abort();
    return 0;
}
