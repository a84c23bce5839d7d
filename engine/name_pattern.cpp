#include "name_pattern.h"

#include "case_fold.h"

namespace {

char32_t Fold(char32_t c, bool ignoreCase) { return ignoreCase ? text::FoldCase(c) : c; }

// Length of the class starting at pattern[at] == '[', 0 when it is not closed.
std::size_t ClassLength(std::u32string_view pattern, std::size_t at) {
    std::size_t i = at + 1;
    if (i < pattern.size() && (pattern[i] == U'!' || pattern[i] == U'^')) ++i;
    if (i < pattern.size() && pattern[i] == U']') ++i;  // "[]...]": a leading ']' is a member
    while (i < pattern.size() && pattern[i] != U']') ++i;
    return i < pattern.size() ? i - at + 1 : 0;
}

bool InClass(std::u32string_view cls, char32_t c, bool ignoreCase) {
    // cls is the text between '[' and ']'.
    bool negate = !cls.empty() && (cls[0] == U'!' || cls[0] == U'^');
    if (negate) cls.remove_prefix(1);
    bool found = false;
    c = Fold(c, ignoreCase);
    for (std::size_t i = 0; i < cls.size(); ++i) {
        if (i + 2 < cls.size() && cls[i + 1] == U'-') {
            char32_t low = Fold(cls[i], ignoreCase), high = Fold(cls[i + 2], ignoreCase);
            if (low <= c && c <= high) found = true;
            i += 2;
        } else if (Fold(cls[i], ignoreCase) == c) {
            found = true;
        }
    }
    return found != negate;
}

}  // namespace

bool HasWildcards(std::u32string_view pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == U'*' || pattern[i] == U'?') return true;
        if (pattern[i] == U'[' && ClassLength(pattern, i) > 0) return true;
    }
    return false;
}

bool MatchName(std::u32string_view pattern, std::u32string_view name, bool ignoreCase) {
    // Iterative matching with one backtrack point for the last '*'.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::u32string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            char32_t pc = pattern[p];
            if (pc == U'*') {
                starP = p++;
                starN = n;
                continue;
            }
            if (pc == U'?') {
                ++p;
                ++n;
                continue;
            }
            std::size_t length = pc == U'[' ? ClassLength(pattern, p) : 0;
            if (length > 0) {
                if (InClass(pattern.substr(p + 1, length - 2), name[n], ignoreCase)) {
                    p += length;
                    ++n;
                    continue;
                }
            } else if (Fold(pc, ignoreCase) == Fold(name[n], ignoreCase)) {
                ++p;
                ++n;
                continue;
            }
        }
        if (starP == std::u32string_view::npos) return false;
        p = starP + 1;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}
