// The engine keeps the host alive through every long stretch of work: it calls back at least every 100 ms, and a stop
// answered in the middle of the stretch ends the run as a cancel between entries does (the old archive as it was, no
// temporary file, every original kept in move mode).
#include "engine_client.h"
#include "sample_text.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using namespace std::chrono_literals;

// A tree of folders x files under dir, each file Words(bytes) or, sparse, as many zeros; small.txt beside it.
struct Stretch {
    const char* name;
    const char* dir;
    int folders, files;
    std::size_t bytes;
    bool sparse;
    std::vector<std::string> oldNames, names;  // stored in the old archive first (level 0), then archived
    char level;
};

const Stretch kStretches[] = {
    {"one large entry at level 9", "big", 1, 1, 16 << 20, false, {"small.txt"}, {"big"}, '9'},
    {"files compressed ahead whole at level 9", "ahead", 1, 4, 4 << 20, false, {}, {"ahead"}, '9'},
    {"a raw copy of a large old entry", "huge", 1, 1, 384u << 20, true, {"huge", "small.txt"}, {"small.txt"}, '6'},
};

class HeartbeatTest : public ::testing::TestWithParam<Stretch> {};

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

TEST_P(HeartbeatTest, CallsBackThroughTheStretchAndStopsInItsMiddle) {
    const Stretch& stretch = GetParam();
    EngineLibrary engine{ZIP32_LIBRARY};
    ASSERT_TRUE(engine.Complete());
    TempFolder folder{MemoryTemp(2u << 30)};  // a large archive is quick to write there
    const fs::path src = folder.Path() / "src", archive = folder.Path() / "out.zip";
    WriteFile(src / "small.txt", "small");
    for (int d = 0; d < stretch.folders; ++d) {
        for (int f = 0; f < stretch.files; ++f) {
            const fs::path file = src / stretch.dir / ("d" + std::to_string(d)) / ("f" + std::to_string(f));
            WriteFile(file, stretch.sparse ? "" : Words(stretch.bytes));
            if (stretch.sparse) fs::resize_file(file, stretch.bytes);
        }
    }
    Request request = NewRequest(src, archive, stretch.oldNames);
    request.options.level = '0';
    ASSERT_TRUE(stretch.oldNames.empty() || RunRequest(engine, request, {}).status == ZIP_OK);
    const std::string oldBytes = ReadFile(archive);
    auto restore = [&]() {
        if (stretch.oldNames.empty()) fs::remove(archive);
        else WriteFile(archive, oldBytes);
    };
    request.names = stretch.names;
    request.options.level = stretch.level;

    Outcome whole = RunRequest(engine, request, {});
    EXPECT_EQ(whole.status, ZIP_OK) << whole.log;
    EXPECT_LT(whole.longestGap, 100ms);
    const int polls = static_cast<int>(whole.serviceNames.size());
    ASSERT_GE(polls, 4) << "too short a stretch to stop in its middle";

    restore();
    const int stopAt = std::max(2, polls / 3);  // well inside the stretch, whatever its pace
    request.options.move = 1;
    Answers answers;
    answers.cancelAtService = stopAt;
    Outcome stopped = RunRequest(engine, request, answers);
    EXPECT_EQ(stopped.status, ZIP_CANCELLED) << stopped.log;
    EXPECT_NE(stopped.log.find("中止しました。"), std::string::npos) << stopped.log;
    EXPECT_EQ(stopped.serviceNames.size(), static_cast<std::size_t>(stopAt)) << "polled after the stop";
    // No deflate call under way is waited for.
    EXPECT_LT(stopped.stopWork, 100ms) << Ms(stopped.stopToEnd) << " ms of wall time";
    EXPECT_TRUE(Exists(archive) == !stretch.oldNames.empty() && ReadFile(archive) == oldBytes);
    EXPECT_TRUE(Temporaries(folder.Path()).empty());
    EXPECT_EQ(std::count_if(fs::recursive_directory_iterator(src), {}, [](const auto& e) { return e.is_regular_file(); }),
              stretch.folders * stretch.files + 1);
    std::printf("[ FIGURES  ] %s: %d polls, longest gap %.1f ms; stopped at poll %d, ended %.1f ms later "
                "(%.1f ms of processor time)\n",
                stretch.name, polls, Ms(whole.longestGap), stopAt, Ms(stopped.stopToEnd), Ms(stopped.stopWork));
}

INSTANTIATE_TEST_SUITE_P(Stretches, HeartbeatTest, ::testing::ValuesIn(kStretches),
                         [](const auto& info) { return TestName(info.param.name); });

}  // namespace
