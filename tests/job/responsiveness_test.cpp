// Cancel, Escape or the close box at a random moment of a large file's run ends it within half a second, the old
// archive as it was and the window open; the queue is drained throughout; a window ticked to close itself gives the
// activation back. More cancels: TIRVO_RANDOM_CANCELS=50 job_gui_tests --gtest_filter=*RandomMoments*
#include <cstdlib>
#include <random>
#include <stop_token>

#include "job_test_support.h"
#include "sample_text.h"
#include "ui/progress_dlg.h"

namespace {

using namespace job_test;
using Clock = std::chrono::steady_clock;

// The probe: another thread posts a message stamped with its time, one at a time, and a hook on the program's
// thread sees each taken; times leave out what that thread waited for a processor (as of the last drain). While
// chained, each chain message taken posts the next: the pump must still give the engine its thread.
constexpr UINT kProbeMessage = WM_APP + 0x3A7;
constexpr UINT kChainMessage = WM_APP + 0x3A8;
std::atomic<bool> g_chained{false};
HHOOK g_probeHook = nullptr;
Clock::time_point g_lastTaken;  // on the program's thread only
std::atomic<std::int64_t> g_lastWaited{0}, g_longestGapNs{0};
std::atomic<bool> g_probeTaken{true};

// Nanoseconds the calling thread has waited for a processor (Wine runs it as a Linux thread).
std::int64_t WaitedForProcessor() {
    long long running = 0, waiting = 0;
    if (FILE* stat = std::fopen("Z:\\proc\\thread-self\\schedstat", "r")) {
        if (std::fscanf(stat, "%lld %lld", &running, &waiting) != 2) waiting = 0;
        std::fclose(stat);
    }
    return waiting;
}

// The gap between two drains: since the last probe was taken, or since this one was posted if it was late.
LRESULT CALLBACK SeeProbe(int code, WPARAM removal, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && removal == PM_REMOVE && message->message == kChainMessage && g_chained)
        PostMessageW(message->hwnd, kChainMessage, 0, 0);
    if (code == HC_ACTION && removal == PM_REMOVE && message->message == kProbeMessage) {
        const Clock::time_point now = Clock::now();
        const std::int64_t waited = WaitedForProcessor();
        const std::int64_t posted = static_cast<std::int64_t>(message->lParam);
        if (g_lastTaken != Clock::time_point()) {
            std::int64_t gap = std::min((now - g_lastTaken).count(), now.time_since_epoch().count() - posted) -
                               (waited - g_lastWaited);
            if (gap > g_longestGapNs) g_longestGapNs = gap;
        }
        g_lastTaken = now;
        g_lastWaited = waited;
        g_probeTaken = true;
    }
    return CallNextHookEx(g_probeHook, code, removal, lParam);
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

TEST(Responsiveness, CancelAtRandomMomentsOfALargeFileStopsWithinHalfASecond) {
    TempFolder folder;
    WriteFile(folder.path / L"small.txt", "small");
    WriteFile(folder.path / L"big" / L"big.txt", Words(96 << 20));
    const std::wstring archive = folder / L"old.zip";
    const char* wanted = std::getenv("TIRVO_RANDOM_CANCELS");
    const int cancels = wanted ? std::atoi(wanted) : 4;
    std::vector<double> latencies, wallLatencies;
    RunMain(archive, {{L"nLevel", 9}}, [&](HWND main, const std::wstring&) {
        g_probeHook = SetWindowsHookExW(WH_GETMESSAGE, &SeeProbe, nullptr, GetWindowThreadProcessId(main, nullptr));
        ASSERT_TRUE(g_probeHook);
        std::jthread probe([main](std::stop_token stop) {
            for (; !stop.stop_requested(); std::this_thread::sleep_for(std::chrono::milliseconds(3)))
                if (g_probeTaken.exchange(false))
                    PostMessageW(main, kProbeMessage, 0, static_cast<LPARAM>(Clock::now().time_since_epoch().count()));
        });
        std::vector<HWND> windows;
        auto run = [&](const std::wstring& path) {
            gui::PostDrop(main, {path});
            windows.push_back(WaitForNewProgress(windows));
            return windows.back();
        };
        ASSERT_TRUE(WaitFinished(run(folder / L"small.txt")));
        const std::string before = ReadFile(archive);
        std::mt19937 random(12);
        for (int runs = 0; static_cast<int>(latencies.size()) < cancels; ++runs) {
            ASSERT_LT(runs, 3 * cancels) << "no run was cancelled before its end";
            HWND progress = run(folder / L"big");
            ASSERT_TRUE(progress);
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 2500));
            const auto pressed = Clock::now();
            const std::int64_t waitedBefore = g_lastWaited;
            if (const auto way = random() % 3; way == 0) gui::PostClick(progress, IDCANCEL);
            else if (way == 1) gui::PressKey(progress, VK_ESCAPE);
            else gui::PressCloseBox(progress);
            g_chained = true;  // for up to 5 s the queue is never empty
            PostMessageW(main, kChainMessage, 0, 0);
            while (!gui::IsEnabled(progress, IDOK) && Clock::now() - pressed < std::chrono::seconds(60)) {
                if (Clock::now() - pressed > std::chrono::seconds(5)) g_chained = false;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            g_chained = false;
            const auto ended = Clock::now();
            const auto starved = std::chrono::nanoseconds(g_lastWaited - waitedBefore);
            ASSERT_TRUE(gui::IsEnabled(progress, IDOK));
            gui::Click(progress, IDCANCEL);  // neither closes a finished window
            SendMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
            EXPECT_TRUE(IsWindowVisible(progress));
            const std::wstring log = gui::Text(GetDlgItem(progress, IDC_LOG));
            gui::PressKey(progress, VK_RETURN);  // OK closes the finished window
            if (log.find(L"中止しました") == std::wstring::npos) {  // the run ended before the key
                WriteFile(archive, before);
                continue;
            }
            latencies.push_back(Ms(ended - pressed - starved));
            wallLatencies.push_back(Ms(ended - pressed));
            // The goal is 0.5 s (see the figures); a run going on to the entry's end would take seconds more.
            EXPECT_LT(latencies.back(), 1500.0) << log;
            EXPECT_EQ(ReadFile(archive), before);
        }
        // One whole run, for the longest gap over all of it, ticked to close itself.
        g_longestGapNs = 0;
        ASSERT_TRUE(run(folder / L"big"));
        gui::Click(windows.back(), IDC_AUTOCLOSE);
        ASSERT_TRUE(gui::WaitUntil([] { return g_pProgressDlg == nullptr; }, std::chrono::minutes(5)));
        EXPECT_FALSE(IsWindow(windows.back()));
        EXPECT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == main; }));
        const double longestGap = g_longestGapNs / 1e6;
        UnhookWindowsHookEx(g_probeHook);
        for (auto* times : {&latencies, &wallLatencies}) std::sort(times->begin(), times->end());
        std::printf("[ FIGURES  ] %zu random cancels: median %.0f ms, longest %.0f ms (wall time %.0f and %.0f ms); "
                    "longest queue gap over a whole run %.0f ms\n",
                    latencies.size(), latencies[latencies.size() / 2], latencies.back(),
                    wallLatencies[wallLatencies.size() / 2], wallLatencies.back(), longestGap);
        EXPECT_LT(longestGap, 500.0);
    });
}

}  // namespace
