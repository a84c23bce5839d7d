// RunZip's failures before the engine runs, each caused by a stand-in
// library (or none) that this program loads in place of ZIP32.DLL.
#include <gtest/gtest.h>

#include "gui_harness.h"
#include "job_test_support.h"
#include "resource.h"

#ifndef TIRVO_FAKE_ENGINE_DIR
#error "TIRVO_FAKE_ENGINE_DIR names the folder of the stand-in libraries"
#endif

namespace {

using job_test::TempFolder;
namespace fs = std::filesystem;

struct FailureCase {
    const wchar_t* library;  // copied as ZIP32.DLL into the search path; nullptr: none
    const wchar_t* message;
};

TEST(EngineFailures, AreReportedAndReleaseEverything) {
    const FailureCase cases[] = {
        {nullptr, L"ZIP32.DLLのロードに失敗しました。"},
        {L"zip32_no_setoptions.dll", L"未対応のZIP32.DLLです。"},
        {L"zip32_version24.dll", L"未対応のバージョンのZIP32.DLLです。"},
        {L"zip32_init_fails.dll", L"ZIP32.DLLの初期化に失敗しました。"},
    };
    // This program's own folder holds no ZIP32.DLL; the search path's next
    // stop is the DLL directory, which each case fills.
    ASSERT_EQ(GetModuleHandleW(L"ZIP32.DLL"), nullptr);
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(gui::Utf8(c.library ? c.library : L"no library"));
        TempFolder dlls;
        TempFolder files;
        if (c.library)
            fs::copy_file(fs::path(TIRVO_FAKE_ENGINE_DIR).make_preferred() / c.library,
                          dlls.Path() / L"ZIP32.DLL");
        SetDllDirectoryW(dlls.Path().c_str());
        job_test::WriteFile(files.Path() / L"a.txt", "a");
        const std::wstring archive = files / L"a.zip";

        gui::TestProfile profile;
        profile.WriteString(L"stFileName", archive);
        profile.WriteDword(L"bTopMost", 0);
        gui::RunMainWindow(profile, [&] {
            HWND main = gui::WaitForWindow(L"Tirvo");
            ASSERT_TRUE(main);
            gui::PostDrop(main, {files / L"a.txt"});
            HWND box = gui::WaitForWindow(profile.AppName());
            ASSERT_TRUE(box);
            EXPECT_EQ(job_test::MessageText(box), c.message);
            EXPECT_FALSE(IsWindowEnabled(main));
            EXPECT_TRUE(job_test::WindowsWithCaption(job_test::kProgressCaption).empty());
            gui::PressKey(box, VK_RETURN);
            ASSERT_TRUE(gui::WaitForWindowGone(box));
            EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
            EXPECT_EQ(GetModuleHandleW(L"ZIP32.DLL"), nullptr);
            gui::PressKey(main, VK_ESCAPE);
        });
        SetDllDirectoryW(nullptr);
        EXPECT_FALSE(fs::exists(archive));
    }
}

}  // namespace
