// Turns the dropped paths into the engine's root folder and entry names.
//
// The root is the deepest folder common to all dropped items, and each entry
// is the item's path relative to it. Items from one folder thus give that
// folder and their bare names; items from several folders (search results)
// keep the subfolders that tell them apart, so the engine finds every item
// where it really is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "job/request_problem.h"

struct DropPlan {
    std::string root;                  // request string (request_string.h), with its trailing separator
    std::vector<std::string> entries;  // request strings, escaped, in drop order
};

// A dropped path's directory, base name and extension may each hold at most
// this many bytes: of code page 932 where it writes the part, else of UTF-8.
// A longer part is refused, never cut.
constexpr size_t kMaxPathPartBytes = 255;

// Plans a drop of absolute paths (drive or UNC); an empty drop has no common
// folder. On a problem the plan is left empty.
RequestProblem PlanDrop(const std::vector<std::wstring>& paths, DropPlan& plan);

// Escapes a name for the engine's pattern matching: "[" becomes "[[]" and
// "-" becomes "[-]"; nothing else changes.
std::wstring EscapeEntryName(std::wstring_view name);
