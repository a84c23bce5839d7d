// Files and the main window for the archive job's Windows tests.
#pragma once

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

#include "gui_harness.h"
#include "resource.h"

namespace job_test {

namespace fs = std::filesystem;
using gui::TempFolder;

inline const wchar_t* kProgressCaption = L"進捗状況 Tirvo";
inline const wchar_t* kCommentCaption = L"コメント Tirvo";
inline const wchar_t* kPasswordCaption = L"パスワード Tirvo";

inline void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The newest progress window other than those in `known`.
inline HWND WaitForNewProgress(const std::vector<HWND>& known = {}) {
    return gui::WaitForWindow([&](HWND hwnd) {
        return gui::Text(hwnd) == kProgressCaption && std::find(known.begin(), known.end(), hwnd) == known.end();
    });
}

inline bool WaitFinished(HWND progress) {
    return progress && gui::WaitUntil([&] { return gui::IsEnabled(progress, IDOK); });
}

// Runs the program with this test's profile naming the archive, not on top (the tests' windows would fight over the
// z-order), holding the given values; the user gets the application name too, and Escape ends the run.
inline void RunMain(const std::wstring& archive, std::initializer_list<std::pair<const wchar_t*, DWORD>> values,
                    const std::function<void(HWND main, const std::wstring& appName)>& user) {
    gui::TestProfile profile;
    profile.Write(L"stFileName", archive);
    profile.Write(L"bTopMost", DWORD{0});
    for (const auto& [name, value] : values) profile.Write(name, value);
    gui::RunWithUser([&] { CArchiverApp(profile.appName.c_str()).InitInstance(); }, [&] {
        HWND main = gui::WaitForWindow(L"Tirvo");
        ASSERT_TRUE(main);
        user(main, profile.appName);
        gui::PressKey(main, VK_ESCAPE);
    });
}

}  // namespace job_test
