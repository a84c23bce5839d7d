// Every file operation of a representative run in each mode made to fail in
// turn (the n-th read, write, flush, rename, delete or thread start, for
// every n the run reaches, scratch files included), a cancel at every poll,
// and locks that another program holds for a moment: each run must keep the
// promises that ScenarioRun::Check tests.
#include "run_scenario.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <vector>

namespace {

// Open is armed with locks only: the sweep leaves it out.
enum FaultOp { kRead, kWrite, kFlush, kRename, kDelete, kThread, kOpCount, kOpen = kOpCount };
const char* const kOpNames[] = {"read", "write", "flush", "rename", "delete", "thread start"};
constexpr int kCounting = 1 << 30;

class FaultSweepTest : public ::testing::TestWithParam<Scenario> {
protected:
    EngineLibrary faulty{ZIP32_FAULTS_LIBRARY};
    TempFolder folder;
    std::unique_ptr<ScenarioRun> run;

    void Arm(int op, int n) { reinterpret_cast<void (*)(int, int)>(faulty.Symbol("ZpTestArmFault"))(op, n); }
    int Pending(int op) { return reinterpret_cast<int (*)(int)>(faulty.Symbol("ZpTestFaultPending"))(op); }
    int ArmLocks(int op, int n) { return reinterpret_cast<int (*)(int, int)>(faulty.Symbol("ZpTestArmLocks"))(op, n); }

    void SetUp() override {
        ASSERT_TRUE(faulty.Complete());
        ASSERT_NE(faulty.Symbol("ZpTestFaultPending"), nullptr);
        // Every store of the run spills at once, so that the scratch files'
        // reads and writes fail in turn too.
        reinterpret_cast<void (*)(unsigned)>(faulty.Symbol("ZpTestSetRecordBudget"))(64);
        run = std::make_unique<ScenarioRun>(GetParam(), folder.Path(), faulty);
        if (!run->Ready()) GTEST_SKIP() << "cannot mount a second file system here";
        ASSERT_TRUE(!GetParam().oldArchive || !run->OldBytes().empty()) << "the old archive could not be made";
    }
};

TEST_P(FaultSweepTest, EveryFileOperationFailsInTurn) {
    int faults = 0, newArchives = 0;
    for (int op = 0; op < kOpCount; ++op) {
        // n = 0: a run without a fault counts the calls, and keeps the promises too.
        for (int n = 0, calls = 0; n <= calls; ++n) {
            SCOPED_TRACE(std::string(kOpNames[op]) + " " + std::to_string(n) + " of " + std::to_string(calls));
            run->Restore();
            Arm(op, n ? n : kCounting);
            Outcome out = RunRequest(faulty, run->MakeRequest(), run->MakeAnswers());
            int pending = Pending(op);
            Arm(op, 0);
            if (n == 0) {
                calls = kCounting - pending;
                ASSERT_EQ(out.status, ZIP_OK) << out.log;
            } else {
                EXPECT_EQ(pending, 0) << "the fault was not reached";
                ++faults;
            }
            EXPECT_EQ(run->Check(out), "") << out.log;
            if (n && run->LastResult() == "new") ++newArchives;
        }
    }
    std::cout << "[ FIGURES  ] " << GetParam().name << ": " << faults << " injected faults, " << newArchives
              << " runs wrote a new archive, " << run->ReaderChecks() << " three-reader checks\n";
}

// With the heartbeat polling at every turn of every long loop (walking,
// sorting, reading, compressing, copying, deleting), a stop at each poll.
// Once the new archive is in place only the deleting of the originals can
// be stopped: the rest stay, and the status says so.
TEST_P(FaultSweepTest, CancelAtEveryPoll) {
    auto setInterval = reinterpret_cast<void (*)(unsigned)>(faulty.Symbol("ZpTestSetHeartbeatInterval"));
    ASSERT_TRUE(setInterval);
    setInterval(0);
    run->Restore();
    Outcome clean = RunRequest(faulty, run->MakeRequest(), run->MakeAnswers());
    ASSERT_EQ(clean.status, ZIP_OK) << clean.log;
    const int polls = static_cast<int>(clean.serviceNames.size());
    ASSERT_GT(polls, static_cast<int>(clean.entries.size()));
    int whileDeleting = 0;
    for (int k = 1; k <= polls; ++k) {
        SCOPED_TRACE("cancel at poll " + std::to_string(k) + " of " + std::to_string(polls));
        run->Restore();
        Answers answers = run->MakeAnswers();
        answers.cancelAtService = k;
        Outcome out = RunRequest(faulty, run->MakeRequest(), answers);
        EXPECT_EQ(run->Check(out), "") << out.log;
        // Waits for the folder listers poll as often as they last: a run may poll less.
        if (out.serviceNames.size() < static_cast<std::size_t>(k)) continue;
        EXPECT_EQ(out.serviceNames.size(), static_cast<std::size_t>(k)) << "polled after the stop";
        if (out.status == ZIP_DELETE_FAILED && run->LastResult() == "new") {
            EXPECT_NE(out.log.find("中止したため、残りの元のファイルは削除しませんでした"), std::string::npos) << out.log;
            ++whileDeleting;
        } else {
            EXPECT_EQ(out.status, ZIP_CANCELLED) << out.log;
            EXPECT_EQ(run->LastResult(), "old");
        }
    }
    setInterval(40);
    std::cout << "[ FIGURES  ] " << GetParam().name << ": cancelled at each of " << polls << " polls ("
              << clean.entries.size() << " entries), " << whileDeleting << " of them while deleting originals\n";
}

// Another program holding a file for a moment (a virus scanner, an indexer):
// the next n opens, renames or deletes meet a lock, and the run waits it out,
// calling back meanwhile. A lock on the archive's replacement that outlasts
// the wait fails the run as any failure does, and Cancel ends the wait.
// The move runs make every kind of call: opens, the replacement, deletes.
class LockWaitTest : public FaultSweepTest {};

TEST_P(LockWaitTest, LocksAreWaitedOut) {
    run->Restore();
    Outcome clean = RunRequest(faulty, run->MakeRequest(), run->MakeAnswers());
    ASSERT_EQ(clean.status, ZIP_OK) << clean.log;
    for (int op : {kOpen, kRename, kDelete}) {
        for (int n : {1, 6}) {
            SCOPED_TRACE((op == kOpen ? std::string("open") : kOpNames[op]) + " locked " + std::to_string(n) + " times");
            run->Restore();
            ArmLocks(op, n);
            Outcome out = RunRequest(faulty, run->MakeRequest(), run->MakeAnswers());
            bool allMet = ArmLocks(op, 0) == 0;
            EXPECT_EQ(out.status, ZIP_OK) << out.log;
            EXPECT_EQ(run->Check(out), "") << out.log;
            // Only the run's own thread opens are certain to wait: workers hand a lock on.
            if (op != kOpen && n == 6 && allMet) {
                EXPECT_GT(out.serviceNames.size(), clean.serviceNames.size()) << "no call back while waiting";
            }
        }
    }
    const int kLasting = 1 << 20;
    for (int cancel : {0, 1}) {
        SCOPED_TRACE(cancel ? "cancelled while waiting" : "lock outlasts the wait");
        run->Restore();
        Answers answers = run->MakeAnswers();
        answers.cancelAtService = cancel ? static_cast<int>(clean.serviceNames.size()) + 1 : 0;
        ArmLocks(kRename, kLasting);
        Outcome out = RunRequest(faulty, run->MakeRequest(), answers);
        ArmLocks(kRename, 0);
        EXPECT_EQ(out.status, cancel ? ZIP_CANCELLED : ZIP_WRITE_FAILED) << out.log;
        EXPECT_EQ(run->Check(out), "") << out.log;
        EXPECT_EQ(run->LastResult(), "old");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FaultSweepTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return TestName(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Moves, LockWaitTest, ::testing::Values(kScenarios[3], kScenarios[4], kScenarios[5]),
                         [](const auto& info) { return TestName(info.param.name); });

}  // namespace
