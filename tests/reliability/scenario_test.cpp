// Representative runs of the engine, each repeated from the same starting
// state with a fault, a cancel, a lock or a kill in it; every run must keep
// the promises ScenarioRun::Check tests.
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
    bool oldArchive, encrypt, comment;  // start from an earlier run's archive; a password; ask for a comment
    WorkDir workDir;
};

const Scenario kScenarios[] = {
    {"add to a new archive", Mode::Add, false, false, false, WorkDir::None},
    {"add, encrypted, with a comment", Mode::Add, true, true, true, WorkDir::None},
    {"add through a work directory", Mode::Add, true, false, false, WorkDir::SameDrive},
    {"move through a work directory on another drive", Mode::Move, true, false, false, WorkDir::OtherDrive},
    {"move into a new archive", Mode::Move, false, false, false, WorkDir::None},
    {"move into an archive, encrypted, with a comment", Mode::Move, true, true, true, WorkDir::None},
    {"update, encrypted, with a comment", Mode::Update, true, true, true, WorkDir::None},
    {"freshen", Mode::Freshen, true, false, false, WorkDir::None},
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
        // a.txt newer than its entry, b.bin new and incompressible, c.txt as stored, e.txt older than its entry.
        // Unencrypted, b.bin takes two reads and big.dat is deflated in blocks; encrypted runs stay small, as a
        // reader decrypts slowly.
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
        r.options.encrypt = s_.encrypt;
        r.options.comment = s_.comment;
        r.options.useTempDir = s_.workDir != WorkDir::None;
        if (r.options.useTempDir) r.tempDir = Utf8(work_);
        return r;
    }

    Answers MakeAnswers() const {
        Answers a;
        if (s_.encrypt) a.passwords = {kPassword, kPassword};
        if (s_.comment) a.comment = kNewComment;
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
            if (s_.comment && !bytes.ends_with(ToCp932(kNewComment))) fail("the archive comment is not the new one");
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

// The operations of the engine's test library that it makes fail (the n-th call) or meet a lock.
enum FaultOp { kRead, kWrite, kFlush, kRename, kDelete, kThread, kOpCount, kOpen = kOpCount };
const char* const kOpNames[] = {"read", "write", "flush", "rename", "delete", "thread start", "open"};
constexpr int kCounting = 1 << 30;

class ScenarioTest : public ::testing::TestWithParam<Scenario> {
protected:
    EngineLibrary faulty{ZIP32_FAULTS_LIBRARY};
    TempFolder folder;
    std::unique_ptr<ScenarioRun> run;

    template <class Fn>
    Fn* Hook(const char* name) const { return reinterpret_cast<Fn*>(faulty.Symbol(name)); }
    void Arm(int op, int n) const { Hook<void(int, int)>("ZpTestArmFault")(op, n); }
    int ArmLocks(int op, int n) const { return Hook<int(int, int)>("ZpTestArmLocks")(op, n); }
    Outcome Run(const Answers& answers) const { return RunRequest(faulty, run->MakeRequest(), answers); }

    void SetUp() override {
        ASSERT_TRUE(faulty.Complete());
        ASSERT_NE(Hook<void(unsigned)>("ZpTestSetRecordBudget"), nullptr);
        // Every store of a run spills at once, so that scratch files are read and written (and fail) too.
        Hook<void(unsigned)>("ZpTestSetRecordBudget")(64);
        run = std::make_unique<ScenarioRun>(GetParam(), folder.Path(), faulty);
        if (!run->ready) GTEST_SKIP() << "cannot mount a second file system here";
        ASSERT_TRUE(!GetParam().oldArchive || !run->oldBytes.empty()) << "the old archive could not be made";
        run->Restore();
    }
};

using FaultSweepTest = ScenarioTest;

// The n-th call of each operation made to fail, for every n the run reaches (n = 0 counts them).
TEST_P(FaultSweepTest, EveryFileOperationFailsInTurn) {
    int faults = 0, newArchives = 0;
    for (int op = 0; op < kOpCount; ++op) {
        for (int n = 0, calls = 0; n <= calls; ++n) {
            SCOPED_TRACE(std::string(kOpNames[op]) + " " + std::to_string(n) + " of " + std::to_string(calls));
            run->Restore();
            Arm(op, n ? n : kCounting);
            Outcome out = Run(run->MakeAnswers());
            const int pending = Hook<int(int)>("ZpTestFaultPending")(op);
            Arm(op, 0);
            if (n == 0) {
                calls = kCounting - pending;
                ASSERT_EQ(out.status, ZIP_OK) << out.log;
            } else {
                EXPECT_EQ(pending, 0) << "the fault was not reached";
                ++faults;
            }
            EXPECT_EQ(run->Check(out), "") << out.log;
            newArchives += n && !run->keptOld;
        }
    }
    std::cout << "[ FIGURES  ] " << GetParam().name << ": " << faults << " injected faults, " << newArchives
              << " runs wrote a new archive, " << run->readerChecks << " three-reader checks\n";
}

// A stop at each poll of a heartbeat that polls at every turn. Once the new archive is in place only the
// deleting of the originals can be stopped: the rest stay, and the status says so.
TEST_P(FaultSweepTest, CancelAtEveryPoll) {
    Hook<void(unsigned)>("ZpTestSetHeartbeatInterval")(0);
    const Outcome clean = Run(run->MakeAnswers());
    ASSERT_EQ(clean.status, ZIP_OK) << clean.log;
    const std::size_t polls = clean.serviceNames.size();
    ASSERT_GT(polls, clean.entries.size());
    int whileDeleting = 0;
    for (std::size_t k = 1; k <= polls; ++k) {
        SCOPED_TRACE("cancel at poll " + std::to_string(k) + " of " + std::to_string(polls));
        run->Restore();
        Answers answers = run->MakeAnswers();
        answers.cancelAtService = static_cast<int>(k);
        Outcome out = Run(answers);
        EXPECT_EQ(run->Check(out), "") << out.log;
        // Waits for the folder listers poll as often as they last: a run may poll less.
        if (out.serviceNames.size() < k) continue;
        EXPECT_EQ(out.serviceNames.size(), k) << "polled after the stop";
        if (out.status == ZIP_DELETE_FAILED && !run->keptOld) {
            EXPECT_NE(out.log.find("中止したため、残りの元のファイルは削除しませんでした"), std::string::npos) << out.log;
            ++whileDeleting;
        } else {
            EXPECT_EQ(out.status, ZIP_CANCELLED) << out.log;
            EXPECT_TRUE(run->keptOld);
        }
    }
    Hook<void(unsigned)>("ZpTestSetHeartbeatInterval")(40);
    std::cout << "[ FIGURES  ] " << GetParam().name << ": cancelled at each of " << polls << " polls ("
              << clean.entries.size() << " entries), " << whileDeleting << " of them while deleting originals\n";
}

// Another program holding a file for a moment: the next n opens, renames or deletes meet a lock, and the run
// waits it out, calling back meanwhile. A lock on the archive's replacement that outlasts the wait fails the run
// as any failure does, and Cancel ends the wait.
class LockWaitTest : public ScenarioTest {};

TEST_P(LockWaitTest, LocksAreWaitedOut) {
    const Outcome clean = Run(run->MakeAnswers());
    ASSERT_EQ(clean.status, ZIP_OK) << clean.log;
    for (int op : {kOpen, kRename, kDelete}) {
        for (int n : {1, 6}) {
            SCOPED_TRACE(std::string(kOpNames[op]) + " locked " + std::to_string(n) + " times");
            run->Restore();
            ArmLocks(op, n);
            Outcome out = Run(run->MakeAnswers());
            const bool allMet = ArmLocks(op, 0) == 0;
            EXPECT_EQ(out.status, ZIP_OK) << out.log;
            EXPECT_EQ(run->Check(out), "") << out.log;
            // Only the run's own thread opens are certain to wait: workers hand a lock on.
            if (op != kOpen && n == 6 && allMet) {
                EXPECT_GT(out.serviceNames.size(), clean.serviceNames.size()) << "no call back while waiting";
            }
        }
    }
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled while waiting" : "lock outlasts the wait");
        run->Restore();
        Answers answers = run->MakeAnswers();
        answers.cancelAtService = cancel ? static_cast<int>(clean.serviceNames.size()) + 1 : 0;
        ArmLocks(kRename, 1 << 20);
        Outcome out = Run(answers);
        ArmLocks(kRename, 0);
        EXPECT_EQ(out.status, cancel ? ZIP_CANCELLED : ZIP_WRITE_FAILED) << out.log;
        EXPECT_EQ(run->Check(out), "") << out.log;
        EXPECT_TRUE(run->keptOld);
    }
}

// SIGKILL at random moments of a forked process running the request with the ordinary engine. The temporary
// file it was writing may stay; the next run over the same archive must not mind it. RELIABILITY_KILLS sets the
// kills per run (scripts/reliability-long.sh).
class KillTest : public ScenarioTest {
protected:
    EngineLibrary engine{ZIP32_LIBRARY};

    // The child's exit status, or -signal.
    int RunInChild(std::optional<std::chrono::microseconds> killAfter) const {
        const pid_t pid = fork();
        if (pid == 0) _exit(RunRequest(engine, run->MakeRequest(), run->MakeAnswers()).status);
        if (killAfter) {
            std::this_thread::sleep_for(*killAfter);
            kill(pid, SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
};

TEST_P(KillTest, KilledAtRandomPoints) {
    auto ended = [](int status) { Outcome o; o.status = status; return o; };  // all a killed child tells
    // Kills fall in 0 to 120 % of an undisturbed run, the longest of three (the machine may be busy).
    std::chrono::microseconds full{0};
    for (int i = 0; i < 3; ++i) {
        run->Restore();
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(RunInChild(std::nullopt), ZIP_OK);
        const auto took = std::chrono::steady_clock::now() - start;
        full = std::max(full, std::chrono::duration_cast<std::chrono::microseconds>(took));
        ASSERT_EQ(run->Check(ended(ZIP_OK)), "");
    }
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> delay(0, full.count() * 6 / 5);
    const int kills = IntFromEnvironment("RELIABILITY_KILLS", 10);
    int killed = 0, oldKept = 0, tempsLeft = 0;
    for (int i = 0; i < kills; ++i) {
        run->Restore();
        const std::chrono::microseconds wait{delay(random)};
        SCOPED_TRACE("kill after " + std::to_string(wait.count()) + " µs");
        const int status = RunInChild(wait);
        if (status == -SIGKILL) ++killed;
        else EXPECT_EQ(status, ZIP_OK) << "the child ended on its own, but not well";
        EXPECT_EQ(run->Check(ended(status == -SIGKILL ? -1 : status), true), "");
        oldKept += run->keptOld;
        if (Temporaries(folder.Path()).empty() || tempsLeft++ >= 3) continue;
        Outcome next = RunRequest(engine, run->MakeRequest(), run->MakeAnswers());
        if (!run->keptOld) {
            // The killed run finished its work; the next one finds nothing or little to do.
            EXPECT_TRUE(next.status == ZIP_OK || next.status == ZIP_NOTHING_TO_DO) << next.log;
            continue;
        }
        EXPECT_EQ(next.status, ZIP_OK) << next.log;
        EXPECT_EQ(run->Check(next, true), "") << "run after a kill";
    }
    std::cout << "[ FIGURES  ] " << GetParam().name << ": " << kills << " runs, " << killed << " killed (" << oldKept
              << " left the old archive, " << kills - oldKept << " the new one), " << tempsLeft
              << " left a temporary file; undisturbed run " << full.count() / 1000 << " ms\n";
}

// Under LeakSanitizer in engine_leak_check: the ordinary engine loaded, run over each scenario and a non-archive.
TEST(EngineLeaks, EveryScenarioAndAFailure) {
    EngineLibrary engine{ZIP32_LIBRARY};
    for (const Scenario& s : kScenarios) {
        TempFolder folder;
        ScenarioRun run(s, folder.Path(), engine);
        run.Restore();
        EXPECT_EQ(RunRequest(engine, run.MakeRequest(), run.MakeAnswers()).status, ZIP_OK) << s.name;
    }
    TempFolder folder;
    WriteFile(folder.Path() / "no.zip", "not an archive");
    WriteFile(folder.Path() / "a.txt", "a");
    EXPECT_EQ(RunRequest(engine, NewRequest(folder.Path(), folder.Path() / "no.zip", {"a.txt"}), {}).status,
              ZIP_NOT_A_ZIP);
}

auto ScenarioName = [](const auto& info) { return TestName(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Modes, FaultSweepTest, ::testing::ValuesIn(kScenarios), ScenarioName);
INSTANTIATE_TEST_SUITE_P(Moves, LockWaitTest, ::testing::Values(kScenarios[3], kScenarios[4], kScenarios[5]),
                         ScenarioName);
INSTANTIATE_TEST_SUITE_P(Modes, KillTest, ::testing::Values(kScenarios[0], kScenarios[2], kScenarios[5], kScenarios[6]),
                         ScenarioName);

}  // namespace
