// Files, archives, windows and the main window for the archive job's Windows
// tests, on top of the GUI harness.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "gui_harness.h"
#include "resource.h"

namespace job_test {

namespace fs = std::filesystem;

inline const wchar_t* kProgressCaption = L"進捗状況 Tirvo";
inline const wchar_t* kCommentCaption = L"コメント Tirvo";
inline const wchar_t* kPasswordCaption = L"パスワード Tirvo";

using gui::TempFolder;

inline void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the tests read back from an archive's central directory: its comment
// and the entries' name bytes. Enough for small test archives (no Zip64);
// nothing for anything else.
struct ArchiveSummary {
    std::string comment;
    std::vector<std::string> names;
};

inline ArchiveSummary Summarize(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    auto le = [&](size_t at, int width) {
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    ArchiveSummary summary;
    if (bytes.size() < 22) return summary;
    size_t end = bytes.size() - 22;
    while (le(end, 4) != 0x06054b50)
        if (end-- == 0) return summary;
    summary.comment = bytes.substr(end + 22, le(end + 20, 2));
    size_t at = le(end + 16, 4);
    for (std::uint32_t i = le(end + 10, 2); i > 0 && at + 46 <= bytes.size() && le(at, 4) == 0x02014b50; --i) {
        summary.names.push_back(bytes.substr(at + 46, le(at + 28, 2)));
        at += 46 + le(at + 28, 2) + le(at + 30, 2) + le(at + 32, 2);
    }
    return summary;
}

// Replaces the comment of an archive whose end record is its last.
inline void SetComment(const fs::path& path, const std::string& comment) {
    std::string bytes = ReadFile(path);
    bytes.resize(bytes.rfind("PK\x05\x06") + 20);
    bytes += {static_cast<char>(comment.size() & 0xFF), static_cast<char>(comment.size() >> 8)};
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes + comment;
}

// The texts of a message box's static controls, joined.
inline std::wstring MessageText(HWND box) {
    std::wstring text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, L"Static") == 0) text += gui::Text(child);
    }
    return text;
}

// The newest progress window other than those in `known`.
inline HWND WaitForNewProgress(const std::vector<HWND>& known = {}) {
    HWND found = nullptr;
    gui::WaitUntil([&] {
        for (HWND hwnd : gui::OwnTopWindows())
            if (gui::Text(hwnd) == kProgressCaption && std::find(known.begin(), known.end(), hwnd) == known.end())
                found = hwnd;
        return found != nullptr;
    });
    return found;
}

// Runs the main window with a profile of this test that names the archive,
// is not topmost (the tests' windows would fight over the z-order) and holds
// the given values. The user gets the main window and the application name
// (the caption of its message boxes); Escape then ends the run.
inline void RunMain(const std::wstring& archive, std::initializer_list<std::pair<const wchar_t*, DWORD>> values,
                    const std::function<void(HWND main, const std::wstring& appName)>& user) {
    gui::TestProfile profile;
    profile.WriteString(L"stFileName", archive);
    profile.WriteDword(L"bTopMost", 0);
    for (const auto& [name, value] : values) profile.WriteDword(name, value);
    gui::RunMainWindow(profile, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        user(main, profile.AppName());
        gui::PressKey(main, VK_ESCAPE);
    });
}

}  // namespace job_test
