#include "job/drop_plan.h"

#include "case_fold.h"
#include "job/request_string.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// File names on Windows compare without regard to case. Surrogates fold to
// themselves, so the code units of a UTF-16 name fold one by one.
bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (text::FoldCase(static_cast<char16_t>(a[i])) != text::FoldCase(static_cast<char16_t>(b[i]))) return false;
    return true;
}

// A path as its volume ("C:" or "\\server\share") and its names below it.
struct SplitPath {
    std::wstring_view volume;
    std::vector<std::wstring_view> names;
};

SplitPath Split(std::wstring_view path) {
    SplitPath split;
    size_t start = 0;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // UNC: the volume runs up to the separator after the share name.
        size_t separators = 0;
        start = 2;
        while (start < path.size() && !(IsSeparator(path[start]) && ++separators == 2)) ++start;
    } else if (path.size() >= 2 && path[1] == L':') {
        start = 2;
    }
    split.volume = path.substr(0, start);
    while (start < path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (end > start) split.names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return split;
}

// The limit on the directory, base name and extension of one path, each
// measured in the bytes of its request string.
bool PartsFit(std::wstring_view path) {
    size_t nameStart = path.size();
    while (nameStart > 0 && !IsSeparator(path[nameStart - 1])) --nameStart;
    const size_t dirStart = (path.size() >= 2 && path[1] == L':') ? 2 : 0;
    const std::wstring_view name = path.substr(nameStart);
    const size_t dot = name.rfind(L'.');
    const std::wstring_view base = dot == std::wstring_view::npos ? name : name.substr(0, dot);
    const std::wstring_view extension =
        dot == std::wstring_view::npos ? std::wstring_view{} : name.substr(dot);
    const std::wstring_view directory =
        nameStart > dirStart ? path.substr(dirStart, nameStart - dirStart) : std::wstring_view{};
    return RequestStringBytes(directory) <= kMaxPathPartBytes && RequestStringBytes(base) <= kMaxPathPartBytes &&
           RequestStringBytes(extension) <= kMaxPathPartBytes;
}

// names[from] to names[to - 1], separated by backslashes.
std::wstring Join(const std::vector<std::wstring_view>& names, size_t from, size_t to) {
    std::wstring joined;
    for (size_t i = from; i < to; ++i) {
        if (i > from) joined += L'\\';
        joined += names[i];
    }
    return joined;
}

}  // namespace

std::wstring EscapeEntryName(std::wstring_view name) {
    std::wstring escaped;
    escaped.reserve(name.size());
    for (const wchar_t c : name) {
        if (c == L'[')
            escaped += L"[[]";
        else if (c == L'-')
            escaped += L"[-]";
        else
            escaped += c;
    }
    return escaped;
}

RequestProblem PlanDrop(const std::vector<std::wstring>& paths, DropPlan& plan) {
    plan = {};
    if (paths.empty()) return {RequestProblem::NoCommonFolder, {}};
    for (const std::wstring& path : paths) {
        if (!ToRequestString(path)) return {RequestProblem::NotUnicode, path};
        if (!PartsFit(path)) return {RequestProblem::PartTooLong, path};
    }

    // The common folder: the first item's folder, cut back to what every
    // other item's folder shares with it.
    std::vector<SplitPath> splits;
    splits.reserve(paths.size());
    size_t common = 0;
    for (const std::wstring& path : paths) {
        SplitPath split = Split(path);
        if (split.names.empty()) return {RequestProblem::WholeDrive, path};
        if (splits.empty()) {
            common = split.names.size() - 1;
        } else {
            if (!SameName(split.volume, splits.front().volume))
                return {RequestProblem::NoCommonFolder, path};
            size_t shared = 0;
            while (shared < common && shared + 1 < split.names.size() &&
                   SameName(split.names[shared], splits.front().names[shared]))
                ++shared;
            common = shared;
        }
        splits.push_back(std::move(split));
    }

    const SplitPath& first = splits.front();
    std::wstring root = std::wstring(first.volume) + L'\\';
    if (common > 0) root += Join(first.names, 0, common) + L'\\';
    plan.root = *ToRequestString(root);
    for (const SplitPath& split : splits)
        plan.entries.push_back(
            *ToRequestString(EscapeEntryName(Join(split.names, common, split.names.size()))));
    return {};
}
