// Drops that end with a message before the engine runs: paths it cannot take, a stand-in ZIP32.DLL that fails or
// none. A ZIP32.DLL in the current folder and the DLL directory, which the default search would take, is never loaded.
#include "job_test_support.h"

namespace {

using namespace job_test;

TEST(DropFailures, AreReportedAndReleaseEverything) {
    const struct {
        const wchar_t* library;  // copied as ZIP32.DLL into the program's folder; nullptr: none
        std::wstring refused;    // dropped after a.txt, relative to its folder
        const wchar_t* message;  // the message, or a part of it naming `shown`
        const wchar_t* shown;    // how the message names the refused path; nullptr: as it is
    } cases[] = {
        {nullptr, std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L".txt", L"", L"a<U+D800>.txt"},
        {nullptr, L"Z:\\", L"ドライブ全体", L"Z:\\"},  // a whole drive
        {nullptr, L"", L"ZIP32.DLLのロードに失敗しました。", nullptr},
        {L"zip32_no_setoptions.dll", L"", L"未対応のZIP32.DLLです。", nullptr},
        {L"zip32_version24.dll", L"", L"未対応のバージョンのZIP32.DLLです。", nullptr},
        {L"zip32_init_fails.dll", L"", L"ZIP32.DLLの初期化に失敗しました。", nullptr},
    };
    const fs::path fakes = fs::path(TIRVO_FAKE_ENGINE_DIR).make_preferred();
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const fs::path ownEngine = fs::path(program).parent_path() / L"ZIP32.DLL";
    ASSERT_EQ(GetModuleHandleW(L"ZIP32.DLL"), nullptr);
    fs::remove(ownEngine);  // left behind by a run that was stopped
    const fs::path before = fs::current_path();
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TempFolder files, dlls;
        if (c.library) fs::copy_file(fakes / c.library, ownEngine);
        const wchar_t* decoy = c.library && c.library == std::wstring(L"zip32_init_fails.dll")
                                   ? L"zip32_version24.dll" : L"zip32_init_fails.dll";
        for (const TempFolder* place : {&files, &dlls}) fs::copy_file(fakes / decoy, place->path / L"ZIP32.DLL");
        SetDllDirectoryW(dlls.path.c_str());
        fs::current_path(files.path);
        WriteFile(files.path / L"a.txt", "a");
        std::vector<std::wstring> dropped{files / L"a.txt"};
        if (!c.refused.empty()) dropped.push_back(files / c.refused);
        RunMain(files / L"a.zip", {}, [&](HWND main, const std::wstring& appName) {
            gui::PostDrop(main, dropped);
            HWND box = gui::WaitForWindow(appName);
            ASSERT_TRUE(box);
            const std::wstring text = gui::Text(GetDlgItem(box, 0xFFFF));  // the message's static
            if (!c.shown) EXPECT_EQ(text, c.message);
            else EXPECT_TRUE(text.find(c.message) != text.npos && text.find(c.shown) != text.npos) << text;
            EXPECT_FALSE(IsWindowEnabled(main) || gui::WaitForWindow(kProgressCaption, {}));
            gui::PressKey(box, VK_RETURN);
            ASSERT_TRUE(gui::WaitForWindowGone(box));
            EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
            EXPECT_EQ(GetModuleHandleW(L"ZIP32.DLL"), nullptr);
        });
        fs::current_path(before);
        SetDllDirectoryW(nullptr);
        fs::remove(ownEngine);
        EXPECT_FALSE(fs::exists(files.path / L"a.zip"));
    }
}

}  // namespace
