// Not a test but a measurement for the record (docs/benchmark.md): the same
// drop of 10,000 small files onto the real main window with the progress
// window and quiet.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "job_test_support.h"

namespace {

using namespace job_test;

TEST(DropArchive, MeasureProgressWindowCost) {
    TempFolder folder;
    for (int i = 0; i < 10000; ++i)
        WriteFile(folder.path / L"many" / (L"f" + std::to_wstring(i) + L".txt"), "small " + std::to_string(i));
    double seconds[2] = {};
    for (int round = 0; round < 4; ++round) {  // the first two rounds warm the file cache
        const int quiet = round % 2;
        const std::wstring archive = folder / (L"m" + std::to_wstring(round) + L".zip");
        RunMain(archive, {{L"bQuiet", static_cast<DWORD>(quiet)}}, [&](HWND main, const std::wstring&) {
            const auto start = std::chrono::steady_clock::now();
            gui::PostDrop(main, {folder / L"many"});
            ASSERT_TRUE(gui::WaitUntil([&] { return fs::exists(archive) && IsWindowEnabled(main); },
                                       std::chrono::minutes(10)));
            seconds[quiet] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
    }
    std::printf("10,000 files: progress window %.2f s, quiet %.2f s, ratio %.2f\n", seconds[0], seconds[1],
                seconds[0] / seconds[1]);
}

}  // namespace
