// One representative run of the engine that a test can repeat from the same
// starting state as often as it likes (with a fault, a cancel or a kill in
// it), and the checks every such run must pass: the old archive byte for
// byte as it was or the new one complete by three readers, no temporary
// file left, and in move mode no original lost.
#pragma once

#include "engine_client.h"
#include "mount.h"
#include "expected_archive.h"
#include "test_tree.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

enum class Mode { Add, Move, Update, Freshen };
// Where the temporary archive is written: beside the archive, or in a work
// directory on the same file system or on another one (a tmpfs).
enum class WorkDir { None, SameDrive, OtherDrive };

struct Scenario {
    const char* name;
    Mode mode;
    bool oldArchive;    // start from an archive made by an earlier run
    bool encrypt;       // with a password for the old and the new entries
    bool comment;       // ask for a comment
    WorkDir workDir;
};

// A file of the tree: its content at the start of every run, its content in
// the old archive (empty optional: not there), and its age in seconds.
struct TreeFile {
    std::string name;
    std::string content;
    std::optional<std::string> old;
    long long age;
};

class ScenarioRun {
public:
    // Builds the old archive (when the scenario has one) with engine.
    ScenarioRun(const Scenario& scenario, const fs::path& folder, const EngineLibrary& engine);

    // False when the work directory on another drive could not be mounted.
    bool Ready() const { return ready_; }
    // Puts the tree and the old archive back as they were before any run.
    void Restore();
    Request MakeRequest() const;
    Answers MakeAnswers() const;
    // The same request as arguments for run_request_child (after LIBRARY).
    std::vector<std::string> ChildArguments() const;

    // Every failure found after a run, one a line; empty when it kept every
    // promise. allowKilledTemp: a killed process may leave its temporary file.
    std::string Check(const Outcome& outcome, bool allowKilledTemp = false);

    const std::string& OldBytes() const { return oldBytes_; }
    int ReaderChecks() const { return readerChecks_; }
    // How the last checked run ended: "old" (archive untouched) or "new".
    const std::string& LastResult() const { return lastResult_; }

private:
    void WriteTree() const;
    ExpectedArchive ExpectedAfter(const std::string& log) const;

    Scenario scenario_;
    fs::path folder_, src_, work_, archive_;
    Mount otherDrive_{work_};
    bool ready_ = true;
    std::vector<TreeFile> files_;
    std::string oldBytes_;
    std::string password_ = "kagi-2026";
    std::map<std::string, bool> verdicts_;  // archive bytes + expected -> accepted
    int readerChecks_ = 0;
    std::string lastResult_;
};

// The representative runs: the fault sweep takes them all, the kill test some.
extern const Scenario kScenarios[8];
