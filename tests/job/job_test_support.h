// Files, folders and archives for the archive job's Windows tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gui_harness.h"

namespace job_test {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        static int serial = 0;
        path_ = fs::temp_directory_path() /
                (L"tirvo-job-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++serial));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return (path_ / name).wstring(); }

private:
    fs::path path_;
};

inline void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::uint32_t Le(const std::string& bytes, size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

// What the tests read back from an archive: its comment, and per entry the
// name bytes and whether it is encrypted. Enough for small test archives
// (no Zip64).
struct ArchiveSummary {
    bool valid = false;
    std::string comment;
    std::vector<std::string> names;
    std::vector<bool> encrypted;
};

inline ArchiveSummary Summarize(const fs::path& path) {
    ArchiveSummary summary;
    const std::string bytes = ReadFile(path);
    if (bytes.size() < 22) return summary;
    size_t end = bytes.size() - 22;
    while (Le(bytes, end, 4) != 0x06054b50) {
        if (end == 0) return summary;
        --end;
    }
    const std::uint32_t entries = Le(bytes, end + 10, 2);
    size_t at = Le(bytes, end + 16, 4);
    summary.comment = bytes.substr(end + 22, Le(bytes, end + 20, 2));
    for (std::uint32_t i = 0; i < entries; ++i) {
        if (at + 46 > bytes.size() || Le(bytes, at, 4) != 0x02014b50) return summary;
        const size_t nameLength = Le(bytes, at + 28, 2);
        summary.encrypted.push_back((Le(bytes, at + 8, 2) & 1) != 0);
        summary.names.push_back(bytes.substr(at + 46, nameLength));
        at += 46 + nameLength + Le(bytes, at + 30, 2) + Le(bytes, at + 32, 2);
    }
    summary.valid = true;
    return summary;
}

// Every visible top-level window of this process with this caption.
inline std::vector<HWND> WindowsWithCaption(const std::wstring& caption) {
    std::vector<HWND> found;
    for (HWND hwnd : gui::OwnTopWindows())
        if (gui::Text(hwnd) == caption) found.push_back(hwnd);
    return found;
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

inline const wchar_t* kProgressCaption = L"進捗状況 Tirvo";
inline const wchar_t* kCommentCaption = L"コメント Tirvo";
inline const wchar_t* kPasswordCaption = L"パスワード Tirvo";

}  // namespace job_test
