// A child process running a request is killed with SIGKILL at random points,
// many times. The old archive must be intact or the new one complete, and in
// move mode no original lost. The temporary file the child was writing may
// stay behind (nothing runs after SIGKILL); the next run over the same
// archive must not mind it. RELIABILITY_KILLS sets the kills per scenario
// (scripts/reliability-long.sh runs many more than CI does).
#include "run_scenario.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <random>
#include <thread>

namespace {

pid_t StartChild(const std::vector<std::string>& args) {
    std::vector<std::string> all{RUN_REQUEST_CHILD, ZIP32_LIBRARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for the child; its exit status, or -signal when a signal ended it.
int Reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// What the parent knows of a child's run: its status only.
Outcome Finished(int status) { Outcome o; o.status = status; return o; }

class KillTest : public ::testing::TestWithParam<Scenario> {
protected:
    EngineLibrary engine{ZIP32_LIBRARY};
    TempFolder folder;
};

TEST_P(KillTest, KilledAtRandomPoints) {
    ScenarioRun run(GetParam(), folder.Path(), engine);
    // How long an undisturbed run takes (the longest of three, as the
    // machine may be busy); kills fall in 0 to 120 % of it.
    std::chrono::microseconds full{0};
    for (int i = 0; i < 3; ++i) {
        run.Restore();
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Reap(StartChild(run.ChildArguments())), ZIP_OK);
        full = std::max(full, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start));
        ASSERT_EQ(run.Check(Finished(ZIP_OK)), "");
    }

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> delay(0, full.count() * 6 / 5);
    int kills = IntFromEnvironment("RELIABILITY_KILLS", 10), killed = 0, oldKept = 0, newWritten = 0, tempsLeft = 0;
    for (int i = 0; i < kills; ++i) {
        run.Restore();
        long long wait = delay(random);
        SCOPED_TRACE("kill after " + std::to_string(wait) + " µs");
        pid_t pid = StartChild(run.ChildArguments());
        std::this_thread::sleep_for(std::chrono::microseconds(wait));
        kill(pid, SIGKILL);
        int status = Reap(pid);
        if (status == -SIGKILL) ++killed;
        else EXPECT_EQ(status, ZIP_OK) << "the child ended on its own, but not well";
        EXPECT_EQ(run.Check(Finished(status == -SIGKILL ? -1 : status), true), "");
        (run.LastResult() == "old" ? oldKept : newWritten) += 1;
        if (Temporaries(folder.Path()).empty()) continue;
        // A stale temporary file does not stop the next run.
        if (tempsLeft++ >= 3) continue;
        Outcome next = RunRequest(engine, run.MakeRequest(), run.MakeAnswers());
        if (run.LastResult() == "new") {
            // The killed run finished its work; the next one finds nothing or little to do.
            EXPECT_TRUE(next.status == ZIP_OK || next.status == ZIP_NOTHING_TO_DO) << next.log;
            continue;
        }
        EXPECT_EQ(next.status, ZIP_OK) << next.log;
        EXPECT_EQ(run.Check(next, true), "") << "run after a kill";
    }
    std::cout << "[ FIGURES  ] " << GetParam().name << ": " << kills << " runs, " << killed << " killed ("
              << oldKept << " left the old archive, " << newWritten << " the new one), " << tempsLeft
              << " left a temporary file; undisturbed run " << full.count() / 1000 << " ms\n";
}

INSTANTIATE_TEST_SUITE_P(Modes, KillTest, ::testing::Values(kScenarios[0], kScenarios[2], kScenarios[5], kScenarios[6]),
                         [](const auto& info) { return TestName(info.param.name); });

}  // namespace
