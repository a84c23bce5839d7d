// Drops that end with a message before the engine runs: paths the engine
// cannot take, and RunZip's failures caused by a stand-in library (or none)
// that this program loads in place of ZIP32.DLL.
#include <gtest/gtest.h>

#include "job_test_support.h"

namespace {

using namespace job_test;

// The program's folder, where the engine is loaded from and nowhere else.
fs::path ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

TEST(DropFailures, AreReportedAndReleaseEverything) {
    const struct {
        const wchar_t* library;  // copied as ZIP32.DLL into the program's folder; nullptr: none
        std::wstring refused;    // dropped after a.txt, relative to its folder; the message names it
        const wchar_t* message;  // the message, or with a refused path a part of it; nullptr: none
        const wchar_t* shown = nullptr;  // how the message names the refused path, when not as it is
    } cases[] = {
        {nullptr, std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L".txt", nullptr, L"a<U+D800>.txt"},
        {nullptr, L"Z:\\", L"ドライブ全体"},          // a whole drive
        {nullptr, L"", L"ZIP32.DLLのロードに失敗しました。"},
        {L"zip32_no_setoptions.dll", L"", L"未対応のZIP32.DLLです。"},
        {L"zip32_version24.dll", L"", L"未対応のバージョンのZIP32.DLLです。"},
        {L"zip32_init_fails.dll", L"", L"ZIP32.DLLの初期化に失敗しました。"},
    };
    const fs::path fakes = fs::path(TIRVO_FAKE_ENGINE_DIR).make_preferred();
    const fs::path ownEngine = ProgramFolder() / L"ZIP32.DLL";
    ASSERT_EQ(GetModuleHandleW(L"ZIP32.DLL"), nullptr);
    fs::remove(ownEngine);  // left behind by a run that was stopped
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        TempFolder files;
        TempFolder dlls;
        if (c.library) fs::copy_file(fakes / c.library, ownEngine);
        // Another ZIP32.DLL in the current folder and in the DLL directory,
        // which the default search would take: it must never be loaded.
        const wchar_t* decoy = c.library && std::wstring(c.library) == L"zip32_init_fails.dll"
                                   ? L"zip32_version24.dll" : L"zip32_init_fails.dll";
        fs::copy_file(fakes / decoy, files.Path() / L"ZIP32.DLL");
        fs::copy_file(fakes / decoy, dlls.Path() / L"ZIP32.DLL");
        SetDllDirectoryW(dlls.Path().c_str());
        const fs::path before = fs::current_path();
        fs::current_path(files.Path());
        WriteFile(files.Path() / L"a.txt", "a");
        std::vector<std::wstring> dropped{files / L"a.txt"};
        if (!c.refused.empty()) dropped.push_back(files / c.refused);
        const std::wstring archive = files / L"a.zip";
        RunMain(archive, {}, [&](HWND main, const std::wstring& appName) {
            gui::PostDrop(main, dropped);
            HWND box = gui::WaitForWindow(appName);
            ASSERT_TRUE(box);
            const std::wstring text = MessageText(box);
            if (c.refused.empty()) EXPECT_EQ(text, c.message);
            else EXPECT_NE(text.find(c.shown ? c.shown : dropped.back()), std::wstring::npos) << gui::Utf8(text);
            if (c.message) {
                EXPECT_NE(text.find(c.message), std::wstring::npos) << gui::Utf8(text);
            }
            EXPECT_FALSE(IsWindowEnabled(main));
            EXPECT_EQ(gui::FindWindowByCaption(kProgressCaption), nullptr);
            gui::PressKey(box, VK_RETURN);
            ASSERT_TRUE(gui::WaitForWindowGone(box));
            EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
            EXPECT_EQ(GetModuleHandleW(L"ZIP32.DLL"), nullptr);
        });
        fs::current_path(before);
        SetDllDirectoryW(nullptr);
        fs::remove(ownEngine);
        EXPECT_FALSE(fs::exists(archive));
    }
}

}  // namespace
