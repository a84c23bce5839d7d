#include "run_scenario.h"

#include "reader_check.h"

#include <algorithm>
#include <regex>

namespace {

// The archive comment, from the end-of-central-directory record.
std::string ArchiveComment(const std::string& bytes) {
    std::size_t at = bytes.rfind(std::string("PK\x05\x06", 4));
    if (at == std::string::npos || at + 22 > bytes.size()) return "<no end record>";
    std::size_t length = static_cast<unsigned char>(bytes[at + 20]) | static_cast<unsigned char>(bytes[at + 21]) << 8;
    return bytes.substr(at + 22, length);
}

const std::string kOldComment = "古いコメント", kNewComment = "新しいコメント";

}  // namespace

const Scenario kScenarios[8] = {
    {"add to a new archive", Mode::Add, false, false, false, WorkDir::None},
    {"add, encrypted, with a comment", Mode::Add, true, true, true, WorkDir::None},
    {"add through a work directory", Mode::Add, true, false, false, WorkDir::SameDrive},
    {"move through a work directory on another drive", Mode::Move, true, false, false, WorkDir::OtherDrive},
    {"move into a new archive", Mode::Move, false, false, false, WorkDir::None},
    {"move into an archive, encrypted, with a comment", Mode::Move, true, true, true, WorkDir::None},
    {"update, encrypted, with a comment", Mode::Update, true, true, true, WorkDir::None},
    {"freshen", Mode::Freshen, true, false, false, WorkDir::None},
};

ScenarioRun::ScenarioRun(const Scenario& scenario, const fs::path& folder, const EngineLibrary& engine)
    : scenario_(scenario), folder_(folder), src_(folder / "src"), work_(folder / "work"), archive_(folder / "out.zip") {
    // a.txt newer than its entry (replaced by update and freshen), b.bin new
    // and incompressible, c.txt as stored, e.txt older than its entry (kept
    // by update and freshen). Unencrypted, b.bin takes two reads and
    // big.dat is large enough to be deflated in blocks; encrypted runs stay
    // small, as one of the readers decrypts slowly.
    files_ = {
        {"d/a.txt", Repeat("alpha 行\r\n", 300), std::string("old alpha"), 10},
        {"d/b.bin", Noise(scenario.encrypt ? 150 << 10 : 1200 << 10, 7), std::nullopt, 10},
        {"d/sub/c.txt", "gamma\n", std::string("gamma\n"), 1000},
        {"d/e.txt", "echo", std::string("old echo"), 5000},
    };
    if (!scenario.encrypt) files_.push_back({"d/big.dat", std::string(5 << 20, '\0'), std::nullopt, 10});
    if (scenario_.workDir == WorkDir::OtherDrive) ready_ = otherDrive_.Tmpfs("size=64m");
    if (!scenario_.oldArchive) return;
    // The old archive: the old contents, all 1000 s old, and d/gone.txt that
    // the tree no longer has.
    fs::remove_all(src_);
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
    Outcome out = RunRequest(engine, request, answers);
    if (out.status == ZIP_OK) oldBytes_ = ReadFile(archive_);
}

void ScenarioRun::WriteTree() const {
    for (const TreeFile& f : files_) {
        WriteFile(src_ / f.name, f.content);
        Touch(src_ / f.name, -f.age);
    }
}

void ScenarioRun::Restore() {
    std::error_code ignored;
    fs::remove_all(src_, ignored);
    fs::remove_all(work_, ignored);
    fs::remove(archive_, ignored);
    for (const auto& e : fs::directory_iterator(folder_)) fs::remove_all(e.path(), ignored);
    if (scenario_.oldArchive) WriteFile(archive_, oldBytes_);
    WriteTree();
    if (scenario_.workDir != WorkDir::None) fs::create_directories(work_);
}

Request ScenarioRun::MakeRequest() const {
    Request r = NewRequest(src_, archive_, {"d"});
    r.options.move = scenario_.mode == Mode::Move;
    r.options.update = scenario_.mode == Mode::Update;
    r.options.freshen = scenario_.mode == Mode::Freshen;
    r.options.encrypt = scenario_.encrypt;
    r.options.comment = scenario_.comment;
    if (scenario_.workDir != WorkDir::None) {
        r.tempDir = Utf8(work_);
        r.options.useTempDir = 1;
    }
    return r;
}

Answers ScenarioRun::MakeAnswers() const {
    Answers a;
    if (scenario_.encrypt) a.passwords = {password_, password_};
    if (scenario_.comment) a.comment = kNewComment;
    return a;
}

std::vector<std::string> ScenarioRun::ChildArguments() const {
    Request r = MakeRequest();
    std::vector<std::string> args{r.archive, r.root, std::to_string(static_cast<int>(scenario_.mode)), scenario_.encrypt ? "1" : "0",
                                  scenario_.comment ? "1" : "0", scenario_.workDir != WorkDir::None ? r.tempDir : "-", password_};
    args.insert(args.end(), r.names.begin(), r.names.end());
    return args;
}

// What the archive holds after a run that wrote it: the complete result of
// the mode, except that a file the log reports as unreadable keeps its old
// entry, or is absent when there was none.
ExpectedArchive ScenarioRun::ExpectedAfter(const std::string& log) const {
    ExpectedArchive want{{"d/", Expected::Dir()}, {"d/sub/", Expected::Dir()}};
    if (scenario_.oldArchive) want["d/gone.txt"] = Expected::File("gone");
    for (const TreeFile& f : files_) {
        bool failed = log.find("エラー: " + f.name + " を読み込めません") != std::string::npos ||
                      log.find("エラー: " + f.name + " は読み込み中に") != std::string::npos;
        bool take = true;
        if (scenario_.mode == Mode::Update || scenario_.mode == Mode::Freshen) {
            bool newer = !f.old || f.age < 1000;
            take = newer && (f.old || scenario_.mode == Mode::Update);
        }
        bool zeros = f.content.size() > (1 << 20) && f.content.find_first_not_of('\0') == std::string::npos;
        if (take && !failed) want[f.name] = zeros ? Expected::Zeros(f.content.size()) : Expected::File(f.content);
        else if (f.old && scenario_.oldArchive) want[f.name] = Expected::File(*f.old);
    }
    return want;
}

std::string ScenarioRun::Check(const Outcome& outcome, bool allowKilledTemp) {
    std::string problems;
    auto fail = [&](const std::string& what) { problems += what + "\n"; };

    // 1. The old archive as it was, or the new one complete.
    bool exists = Exists(archive_);
    std::string bytes = exists ? ReadFile(archive_) : std::string();
    bool untouched = scenario_.oldArchive ? exists && bytes == oldBytes_ : !exists;
    bool success = outcome.status == ZIP_OK || outcome.status == ZIP_PARTIAL || outcome.status == ZIP_DELETE_FAILED;
    ExpectedArchive want;
    lastResult_ = untouched ? "old" : "new";
    if (untouched) {
        // Success without writing only when nothing was left to change.
        bool nothingChanged = outcome.log.find("0 個を追加、0 個を置換") != std::string::npos;
        if (success && !nothingChanged && !allowKilledTemp)
            fail("status " + std::to_string(outcome.status) + " but the archive was not written");
    } else {
        if (!success && !allowKilledTemp) fail("status " + std::to_string(outcome.status) + " but the archive changed");
        want = ExpectedAfter(outcome.log);
        std::string key = bytes;
        for (const auto& [name, e] : want) key += '\0' + name + '\0' + e.content;
        auto cached = verdicts_.find(key);
        if (cached == verdicts_.end()) {
            ++readerChecks_;
            std::string refused = ReaderProblems(Utf8(archive_), want, scenario_.encrypt ? password_ : std::string());
            cached = verdicts_.emplace(key, refused.empty()).first;
            if (!refused.empty()) fail("new archive refused:\n" + refused);
        } else if (!cached->second) {
            fail("new archive refused (as before)");
        }
        std::string comment = scenario_.comment ? ToCp932(kNewComment) : "";
        if (ArchiveComment(bytes) != comment) fail("archive comment is \"" + FromCp932(ArchiveComment(bytes)) + "\"");
    }

    // 2. No temporary file, or after a kill at most the one it was writing.
    std::vector<std::string> temps = Temporaries(folder_);
    if (allowKilledTemp) {
        static const std::regex kTempName(R"(~tirvo[0-9]+\.tmp)");
        std::erase_if(temps, [&](const std::string& path) {
            return std::regex_match(Utf8(fs::path(path).filename()), kTempName);
        });
    }
    // A copy in the work directory that could not be deleted, when the log says so.
    if (outcome.log.find("作業フォルダーの一時ファイルを削除できません") != std::string::npos)
        std::erase_if(temps, [&](const std::string& path) { return fs::path(path).parent_path() == work_; });
    for (const std::string& t : temps) fail("left behind: " + t);

    // 3. An original is gone only when the archive now holds it as it was.
    for (const TreeFile& f : files_) {
        fs::path original = src_ / f.name;
        if (Exists(original)) {
            if (ReadFile(original) != f.content) fail(f.name + " changed");
            continue;
        }
        if (scenario_.mode != Mode::Move) fail(f.name + " deleted outside move mode");
        else if (untouched) fail(f.name + " deleted, but the archive was not replaced");
        else if (!want.count(f.name) || (want[f.name].content != f.content && want[f.name].zeros != f.content.size()))
            fail(f.name + " deleted, but the archive does not hold it");
    }
    return problems;
}
