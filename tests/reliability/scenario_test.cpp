// Representative runs of the engine, each repeated from the same starting state with a fault, a cancel, a lock or a
// kill in it; every run must keep the promises ScenarioRun::Check tests.
#include "engine_client.h"
#include "expected_archive.h"
#include "mount.h"
#include "reader_check.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <thread>

namespace {

enum class Mode { Add, Move, Update, Freshen };
// The temporary archive beside the archive, or in a work directory on the same or another file system.
enum class WorkDir { None, SameDrive, OtherDrive };

struct Scenario {
    const char* name;
    Mode mode;
    bool oldArchive, encrypt;  // start from an earlier run's archive; a password and a comment asked for
    WorkDir workDir;
};

const Scenario kScenarios[] = {
    {"add to a new archive", Mode::Add, false, false, WorkDir::None},
    {"add, encrypted, with a comment", Mode::Add, true, true, WorkDir::None},
    {"add through a work directory", Mode::Add, true, false, WorkDir::SameDrive},
    {"move through a work directory on another drive", Mode::Move, true, false, WorkDir::OtherDrive},
    {"move into a new archive", Mode::Move, false, false, WorkDir::None},
    {"move into an archive, encrypted, with a comment", Mode::Move, true, true, WorkDir::None},
    {"update, encrypted, with a comment", Mode::Update, true, true, WorkDir::None},
    {"freshen", Mode::Freshen, true, false, WorkDir::None},
};

const std::string kOldComment = "古いコメント", kNewComment = "新しいコメント", kPassword = "kagi-2026";

// A file of the tree: its content at the start of every run, in the old archive (if there), its age in seconds.
struct TreeFile {
    std::string name, content;
    std::optional<std::string> old;
    long long age;
};

struct ScenarioRun {
    ScenarioRun(const Scenario& scenario, const fs::path& folder, const EngineLibrary& engine)
        : s_(scenario), folder_(folder) {
        // a.txt newer than its entry, b.bin new and incompressible (two reads), c.txt as stored, e.txt older than
        // its entry, big.dat deflated in blocks; encrypted runs stay small, as a reader decrypts slowly.
        files_ = {
            {"d/a.txt", Repeat("alpha 行\r\n", 300), "old alpha", 10},
            {"d/b.bin", Noise(s_.encrypt ? 150 << 10 : 1200 << 10, 7), std::nullopt, 10},
            {"d/sub/c.txt", "gamma\n", "gamma\n", 1000},
            {"d/e.txt", "echo", "old echo", 5000},
        };
        if (!s_.encrypt) files_.push_back({"d/big.dat", std::string(5 << 20, '\0'), std::nullopt, 10});
        if (s_.workDir == WorkDir::OtherDrive) ready = otherDrive_.Tmpfs("size=64m");
        if (!s_.oldArchive) return;
        // The old archive: the old contents, 1000 s old, and d/gone.txt that the tree no longer has.
        for (const TreeFile& f : files_) {
            if (!f.old) continue;
            WriteFile(src_ / f.name, *f.old);
            Touch(src_ / f.name, -1000);
        }
        WriteFile(src_ / "d" / "gone.txt", "gone");
        Request request = MakeRequest();
        request.options.move = request.options.update = request.options.freshen = 0;
        Answers answers = MakeAnswers();
        answers.comment = kOldComment;
        if (RunRequest(engine, request, answers).status == ZIP_OK) oldBytes = ReadFile(archive_);
    }

    // Puts the tree, the old archive and the work directory back as they were before any run.
    void Restore() const {
        std::error_code ignored;
        for (const auto& e : fs::directory_iterator(folder_)) fs::remove_all(e.path(), ignored);
        if (s_.oldArchive) WriteFile(archive_, oldBytes);
        for (const TreeFile& f : files_) {
            WriteFile(src_ / f.name, f.content);
            Touch(src_ / f.name, -f.age);
        }
        if (s_.workDir != WorkDir::None) fs::create_directories(work_);
    }

    Request MakeRequest() const {
        Request r = NewRequest(src_, archive_, {"d"});
        r.options.move = s_.mode == Mode::Move;
        r.options.update = s_.mode == Mode::Update;
        r.options.freshen = s_.mode == Mode::Freshen;
        r.options.encrypt = r.options.comment = s_.encrypt;
        r.options.useTempDir = s_.workDir != WorkDir::None;
        if (r.options.useTempDir) r.tempDir = Utf8(work_);
        return r;
    }

    Answers MakeAnswers() const {
        Answers a;
        if (s_.encrypt) a.passwords = {kPassword, kPassword}, a.comment = kNewComment;
        return a;
    }

    // Every promise the last run broke, one a line; a killed run may leave the temporary file it was writing.
    std::string Check(const Outcome& outcome, bool killed = false) {
        std::string problems;
        auto fail = [&](const std::string& what) { problems += what + "\n"; };
        const bool exists = Exists(archive_);
        const std::string bytes = exists ? ReadFile(archive_) : "";
        const bool success = outcome.status == ZIP_OK || outcome.status == ZIP_PARTIAL ||
                             outcome.status == ZIP_DELETE_FAILED;
        const std::string status = "status " + std::to_string(outcome.status);
        keptOld = s_.oldArchive ? exists && bytes == oldBytes : !exists;
        ExpectedArchive want;
        if (keptOld) {
            // Success without writing only when nothing was left to change.
            if (success && !killed && outcome.log.find("0 個を追加、0 個を置換") == std::string::npos)
                fail(status + " but the archive was not written");
        } else {
            if (!success && !killed) fail(status + " but the archive changed");
            want = ExpectedAfter(outcome.log);
            std::string key = bytes;  // an archive checked before is not checked again
            for (const auto& [name, e] : want) key += '\0' + name + '\0' + e.content;
            auto [verdict, fresh] = verdicts_.try_emplace(key);
            if (fresh) {
                ++readerChecks;
                verdict->second = ReaderProblems(Utf8(archive_), want, s_.encrypt ? kPassword : "");
            }
            if (!verdict->second.empty()) fail("new archive refused:\n" + verdict->second);
            if (s_.encrypt && !bytes.ends_with(ToCp932(kNewComment))) fail("the archive comment is not the new one");
        }
        // No temporary file, but a killed run's, or the work directory's copy when the log says it stayed.
        const bool workCopyKept = outcome.log.find("作業フォルダーの一時ファイルを削除できません") != std::string::npos;
        for (const fs::path temp : Temporaries(folder_)) {
            if (!(killed && temp.extension() == ".tmp") && !(workCopyKept && temp.parent_path() == work_))
                fail("left behind: " + Utf8(temp));
        }
        // An original is gone only in move mode, when the new archive holds it as it was.
        for (const TreeFile& f : files_) {
            if (Exists(src_ / f.name)) {
                if (ReadFile(src_ / f.name) != f.content) fail(f.name + " changed");
            } else if (s_.mode != Mode::Move || !want.count(f.name) ||
                       (want[f.name].content != f.content && want[f.name].zeros != f.content.size())) {
                fail(f.name + " deleted, but no new archive of a move holds it");
            }
        }
        return problems;
    }

    // What the archive holds after a run that wrote it: the mode's result, but a file the log reports as
    // unreadable keeps its old entry, if any.
    ExpectedArchive ExpectedAfter(const std::string& log) const {
        ExpectedArchive want{{"d/", Expected::Dir()}, {"d/sub/", Expected::Dir()}};
        if (s_.oldArchive) want["d/gone.txt"] = Expected::File("gone");
        for (const TreeFile& f : files_) {
            const bool failed = log.find("エラー: " + f.name + " を読み込めません") != std::string::npos ||
                                log.find("エラー: " + f.name + " は読み込み中に") != std::string::npos;
            bool take = true;
            if (s_.mode == Mode::Update || s_.mode == Mode::Freshen)
                take = (!f.old || f.age < 1000) && (f.old || s_.mode == Mode::Update);
            const bool zeros = f.content.size() > (1 << 20) && f.content.find_first_not_of('\0') == std::string::npos;
            if (take && !failed) want[f.name] = zeros ? Expected::Zeros(f.content.size()) : Expected::File(f.content);
            else if (f.old && s_.oldArchive) want[f.name] = Expected::File(*f.old);
        }
        return want;
    }

    Scenario s_;
    fs::path folder_, src_ = folder_ / "src", work_ = folder_ / "work", archive_ = folder_ / "out.zip";
    Mount otherDrive_{work_};
    std::vector<TreeFile> files_;
    std::map<std::string, std::string> verdicts_;  // archive bytes and expected entries -> the readers' problems
    bool ready = true;      // false when the work directory on another drive could not be mounted
    std::string oldBytes;
    bool keptOld = false;   // the last checked run left the archive as it was
    int readerChecks = 0;
};

// The operations of the engine's test library that it makes fail (the n-th call, opens never) or meet a lock.
enum Op { kRead, kWrite, kFlush, kRename, kDelete, kThread, kOpen };
const char* const kOpNames[] = {"read", "write", "flush", "rename", "delete", "thread start", "open"};
constexpr int kCounting = 1 << 30;

class ScenarioTest : public ::testing::TestWithParam<Scenario> {
protected:
    EngineLibrary faulty{ZIP32_FAULTS_LIBRARY};
    TempFolder folder;
    std::unique_ptr<ScenarioRun> run;

    template <class Fn>
    Fn* Hook(const char* name) const { return reinterpret_cast<Fn*>(faulty.Symbol(name)); }
    int ArmLocks(int op, int n) const { return Hook<int(int, int)>("ZpTestArmLocks")(op, n); }
    Outcome Run(const Answers& answers) const { return RunRequest(faulty, run->MakeRequest(), answers); }

    void SetUp() override {
        ASSERT_TRUE(faulty.Complete() && faulty.Symbol("ZpTestSetRecordBudget"));
        // Every store of a run spills at once, so that scratch files are read and written (and fail) too.
        Hook<void(unsigned)>("ZpTestSetRecordBudget")(64);
        run = std::make_unique<ScenarioRun>(GetParam(), folder.Path(), faulty);
        if (!run->ready) GTEST_SKIP() << "cannot mount a second file system here";
        ASSERT_TRUE(!GetParam().oldArchive || !run->oldBytes.empty()) << "the old archive could not be made";
        run->Restore();
    }
};

using FaultSweepTest = ScenarioTest;

// The n-th call of each operation made to fail, then a stop at the n-th poll of a heartbeat that polls at every
// turn, for every n an undisturbed run reaches. Once the new archive is in place only the deleting of the
// originals can be stopped: the rest stay, and the status says so.
TEST_P(FaultSweepTest, EveryFileOperationFailsAndEveryPollStopsInTurn) {
    auto arm = Hook<void(int, int)>("ZpTestArmFault");
    Hook<void(unsigned)>("ZpTestSetHeartbeatInterval")(0);
    for (int op = kRead; op < kOpen; ++op) arm(op, kCounting);
    const Outcome clean = Run(run->MakeAnswers());
    ASSERT_EQ(clean.status, ZIP_OK) << clean.log;
    std::vector<int> calls;  // of each operation, then the polls (in the place of the opens)
    for (int op = kRead; op < kOpen; ++op) calls.push_back(kCounting - Hook<int(int)>("ZpTestFaultPending")(op));
    for (int op = kRead; op < kOpen; ++op) arm(op, 0);
    calls.push_back(static_cast<int>(clean.serviceNames.size()));
    int faults = 0, newArchives = 0, whileDeleting = 0;
    for (int op = kRead; op <= kOpen; ++op) {
        const bool stop = op == kOpen;
        for (int n = 1; n <= calls[op]; ++n) {
            SCOPED_TRACE((stop ? "stop at poll" : kOpNames[op]) + (" " + std::to_string(n)) + " of " +
                         std::to_string(calls[op]));
            run->Restore();
            Answers answers = run->MakeAnswers();
            answers.cancelAtService = stop ? n : 0;
            if (!stop) arm(op, n);
            Outcome out = Run(answers);
            EXPECT_EQ(run->Check(out), "") << out.log;
            if (!stop) {
                EXPECT_EQ(Hook<int(int)>("ZpTestFaultPending")(op), 0) << "the fault was not reached";
                arm(op, 0);
                ++faults;
                newArchives += !run->keptOld;
                continue;
            }
            // Waits for the folder listers poll as often as they last: a run may poll less.
            if (out.serviceNames.size() < static_cast<std::size_t>(n)) continue;
            EXPECT_EQ(out.serviceNames.size(), static_cast<std::size_t>(n)) << "polled after the stop";
            const bool deleting = out.status == ZIP_DELETE_FAILED && !run->keptOld;
            const bool said = out.log.find("中止したため、残りの元のファイルは削除しませんでした") != std::string::npos;
            EXPECT_TRUE(deleting ? said : out.status == ZIP_CANCELLED && run->keptOld) << out.log;
            whileDeleting += deleting;
        }
    }
    Hook<void(unsigned)>("ZpTestSetHeartbeatInterval")(40);
    std::cout << "[ FIGURES  ] " << GetParam().name << ": " << faults << " injected faults, " << newArchives
              << " runs wrote a new archive, " << run->readerChecks << " three-reader checks; stopped at each of "
              << calls.back() << " polls, " << whileDeleting
              << " of them while deleting originals\n";
}

// Another program holding a file for a moment: the next n opens, renames or deletes meet a lock, and the run
// waits it out, calling back meanwhile. A lock on the archive's replacement that outlasts the wait fails the run
// as any failure does, and Cancel ends the wait.
using LockWaitTest = ScenarioTest;

TEST_P(LockWaitTest, LocksAreWaitedOut) {
    const Outcome clean = Run(run->MakeAnswers());
    ASSERT_EQ(clean.status, ZIP_OK) << clean.log;
    constexpr int kLasting = 1 << 20;
    const struct {
        int op, n;
        bool cancel = false;
    } cases[] = {{kOpen, 1}, {kOpen, 6}, {kRename, 1}, {kRename, 6}, {kDelete, 1}, {kDelete, 6},
                 {kRename, kLasting}, {kRename, kLasting, true}};
    for (const auto& [op, n, cancel] : cases) {
        SCOPED_TRACE(std::string(kOpNames[op]) + " locked " + std::to_string(n) + "x" + (cancel ? ", Cancel" : ""));
        run->Restore();
        Answers answers = run->MakeAnswers();
        answers.cancelAtService = cancel ? static_cast<int>(clean.serviceNames.size()) + 1 : 0;
        ArmLocks(op, n);
        Outcome out = Run(answers);
        const bool allMet = ArmLocks(op, 0) == 0;
        EXPECT_EQ(out.status, n < kLasting ? ZIP_OK : cancel ? ZIP_CANCELLED : ZIP_WRITE_FAILED) << out.log;
        EXPECT_EQ(run->Check(out), "") << out.log;
        // Only the run's own thread opens are certain to wait: workers hand a lock on.
        EXPECT_TRUE(op == kOpen || n != 6 || !allMet || out.serviceNames.size() > clean.serviceNames.size())
            << "no call back while waiting";
    }
}

// SIGKILL at random moments, 0 to 120 % of the longest of three undisturbed runs, of a forked process running
// the request with the ordinary engine. The temporary file it was writing may stay; the next run over the same
// archive must not mind it. RELIABILITY_KILLS sets the kills per run (scripts/reliability-long.sh).
using KillTest = ScenarioTest;

TEST_P(KillTest, KilledAtRandomPoints) {
    EngineLibrary engine{ZIP32_LIBRARY};
    auto inChild = [&](std::chrono::microseconds killAfter) {  // the exit status or -signal: all a child tells
        const pid_t pid = fork();
        if (pid == 0) _exit(RunRequest(engine, run->MakeRequest(), run->MakeAnswers()).status);
        if (killAfter.count() >= 0) {
            std::this_thread::sleep_for(killAfter);
            kill(pid, SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        Outcome o;
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return o;
    };
    std::chrono::microseconds full{0};
    for (int i = 0; i < 3; ++i) {
        run->Restore();
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(inChild(std::chrono::microseconds(-1)).status, ZIP_OK);
        full = std::max(full, std::chrono::duration_cast<decltype(full)>(std::chrono::steady_clock::now() - start));
    }
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> delay(0, full.count() * 6 / 5);
    const char* wanted = std::getenv("RELIABILITY_KILLS");
    const int kills = wanted ? std::atoi(wanted) : 10;
    int killed = 0, oldKept = 0, tempsLeft = 0;
    for (int i = 0; i < kills; ++i) {
        run->Restore();
        const std::chrono::microseconds wait{delay(random)};
        SCOPED_TRACE("kill after " + std::to_string(wait.count()) + " µs");
        const Outcome out = inChild(wait);
        killed += out.status == -SIGKILL;
        EXPECT_TRUE(out.status == -SIGKILL || out.status == ZIP_OK) << "the child ended on its own, but not well";
        EXPECT_EQ(run->Check(out, true), "");
        oldKept += run->keptOld;
        if (Temporaries(folder.Path()).empty() || tempsLeft++ >= 3) continue;
        // After a kill that came once the work was done, the next run finds little or nothing to do.
        const bool done = !run->keptOld;
        Outcome next = RunRequest(engine, run->MakeRequest(), run->MakeAnswers());
        EXPECT_TRUE(next.status == ZIP_OK || (done && next.status == ZIP_NOTHING_TO_DO)) << next.log;
        EXPECT_EQ(done ? "" : run->Check(next, true), "") << "run after a kill";
    }
    std::cout << "[ FIGURES  ] " << GetParam().name << ": " << kills << " runs, " << killed << " killed (" << oldKept
              << " left the old archive, " << kills - oldKept << " the new one), " << tempsLeft
              << " left a temporary file; undisturbed run " << full.count() / 1000 << " ms\n";
}

auto ScenarioName = [](const auto& info) { return TestName(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Modes, FaultSweepTest, ::testing::ValuesIn(kScenarios), ScenarioName);
INSTANTIATE_TEST_SUITE_P(Moves, LockWaitTest, ::testing::Values(kScenarios[3], kScenarios[4], kScenarios[5]),
                         ScenarioName);
INSTANTIATE_TEST_SUITE_P(Modes, KillTest, ::testing::Values(kScenarios[0], kScenarios[2], kScenarios[5], kScenarios[6]),
                         ScenarioName);

}  // namespace
