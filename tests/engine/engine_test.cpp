// The engine through its four exports, loaded as the program loads it, on real trees in temporary
// folders, hostile input and places among them; every archive it writes checked by three independent readers.
#include "engine_client.h"
#include "mount.h"
#include "reader_check.h"
#include "test_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <tuple>

namespace {

const std::string kText = Repeat("alpha\r\nbeta\n", 8);
const std::string kBinary("\x00\x01\r\n\x02\n", 6);

// lineEnds 1: CR/LF to LF, 2: LF to CR/LF, otherwise unchanged.
std::string LineEnds(const std::string& s, int lineEnds) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (lineEnds == 1 && s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        if (lineEnds == 2 && s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out += '\r';
        out += s[i];
    }
    return out;
}

// What Python prints for `code`, run with the archive opened as z (unless the code starts with "import").
std::string Python(std::string code, const fs::path& archive) {
    if (code.rfind("import", 0) != 0) code = "import zipfile,sys,os,time;z=zipfile.ZipFile(sys.argv[1]);print(" + code + ")";
    std::string out = CommandOutput("python3 -c '" + code + "' '" + Utf8(archive) + "' 2>&1");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

class EngineTest : public ::testing::Test {
protected:
    EngineLibrary engine{ZIP32_LIBRARY};
    EngineLibrary faulty{ZIP32_FAULTS_LIBRARY};  // the test build: no worker threads, faults on demand
    TempFolder folder;
    fs::path src = folder.Path() / "src";
    fs::path archive = folder.Path() / "out.zip";

    void SetUp() override { ASSERT_TRUE(engine.Complete() && faulty.Complete()); }
    Request NewRequest(std::vector<std::string> names) const { return ::NewRequest(src, archive, std::move(names)); }
    Outcome Run(const Request& r, const Answers& answers = Answers()) { return RunRequest(engine, r, answers); }
    void Check(const ExpectedArchive& want, const std::string& password = "") {
        EXPECT_EQ(ReaderProblems(Utf8(archive), want, password), "");
    }
};

// Each option in one of the modes, against an old archive of docs/a.txt and docs/gone.txt older than the
// files (docs/sub/c.txt is three days old). A probe (Python on the archive z) checks what the entries do
// not show. Flags are set to values other than 1, as stored settings reach the engine: any but 0 is on.
// The root, the archive's folder, the work directory, a file and a folder are named with characters code
// page 932 cannot write (sent as the UTF-8 mark and UTF-8): they select exactly their own files, never a
// decoy that differs in one such character (a look-alike, a literal '?', another character), and the log
// shows them as code points. Links (one to a folder outside the tree) and a pipe are skipped with a word.
TEST_F(EngineTest, ModesTimesOptionsMatrix) {
    enum { kAdd, kMove, kUpdate, kFreshen };
    const struct {
        int mode;
        const char* name;
        void (*set)(ZipOptions&);
        const char* probe = "";
        const char* expect = "";
    } cases[] = {
        {kAdd, "default", [](ZipOptions&) {},  // names in code page 932 with the Unicode Path field, extended times
         "all(b\"UT\" in i.extra for i in z.infolist()) and all(b\"up\" in i.extra and not i.flag_bits & 0x800 "
         "for i in z.infolist() if ord(i.filename[0]) > 127)", "True"},
        {kMove, "default", [](ZipOptions&) {}},
        {kUpdate, "level 0", [](ZipOptions& o) { o.level = '0'; },
         "{i.compress_type for i in z.infolist() if i.file_size and \"gone\" not in i.filename}", "{0}"},
        {kFreshen, "level 9", [](ZipOptions& o) { o.level = '9'; }},
        {kAdd, "level x", [](ZipOptions& o) { o.level = 'x'; },  // level 6: a.txt deflated, the tiny files stored
         "{i.filename: i.compress_type for i in z.infolist() if i.compress_type}", "{\'docs/a.txt\': 8}"},
        {kMove, "encrypt", [](ZipOptions& o) { o.encrypt = -1; },  // all written now; the old entry copied as it was
         "\" \".join(i.filename for i in z.infolist() if not i.flag_bits & 1 and not i.is_dir())", "docs/gone.txt"},
        {kUpdate, "no extra", [](ZipOptions& o) { o.noExtraFields = INT_MIN; },
         "sum(b\"UT\" in i.extra for i in z.infolist() if \"gone\" not in i.filename)", "0"},
        {kMove, "no dirs", [](ZipOptions& o) { o.noDirEntries = INT_MAX; }},
        {kAdd, "junk dirs", [](ZipOptions& o) { o.junkDirs = -1; }},
        {kMove, "system", [](ZipOptions& o) { o.systemFiles = INT_MIN; }},
        {kUpdate, "crlf->lf", [](ZipOptions& o) { o.crlfToLf = INT_MAX; }},
        {kFreshen, "lf->crlf", [](ZipOptions& o) { o.lfToCrlf = -1; }},
        {kAdd, "both", [](ZipOptions& o) { o.crlfToLf = INT_MIN, o.lfToCrlf = 2; }},
        {kUpdate, "latest time", [](ZipOptions& o) { o.latestTime = INT_MIN; },
         "time.localtime(os.stat(sys.argv[1]).st_mtime)[:6] == max(i.date_time for i in z.infolist())", "True"},
        {kMove, "temp dir", [](ZipOptions& o) { o.useTempDir = INT_MAX; }},
        {kFreshen, "comment", [](ZipOptions& o) { o.comment = -1; }, "z.comment.decode(\"cp932\")", "新しい注釈"},
        {kUpdate, "today on", [](ZipOptions& o) { o.includeDate = -1; }},  // c.txt left out
    };
    std::time_t now = std::time(nullptr);
    char today[16];
    std::strftime(today, sizeof today, "%m%d%Y", std::localtime(&now));
    const std::string odd = "\u301C\U0001F600\u00E9";  // wave dash, emoji, accented Latin
    TempFolder work(MemoryTemp(1 << 20));  // the finished archive is copied beside the old one
    const fs::path workDir = work.Path() / fs::u8path("work" + odd);
    fs::create_directories(workDir);
    src = folder.Path() / fs::u8path("in" + odd);
    archive = folder.Path() / fs::u8path("out" + odd) / fs::u8path("a" + odd + ".zip");
    fs::create_directories(archive.parent_path());
    WriteFile(folder.Path() / "outside" / "secret.txt", "must not be archived");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " / " + c.name);
        Request r = NewRequest({"docs", "日本語.txt", "f" + odd + ".txt", "d" + odd});
        c.set(r.options);
        const ZipOptions& o = r.options;
        const int lineEnds = o.crlfToLf && o.lfToCrlf ? 0 : o.crlfToLf ? 1 : o.lfToCrlf ? 2 : 0;
        auto name = [&](const std::string& rel) { return o.junkDirs ? rel.substr(rel.find_last_of('/') + 1) : rel; };
        fs::remove_all(src);
        fs::remove(archive);
        WriteFile(src / "docs" / "a.txt", kText);
        WriteFile(src / "docs" / "gone.txt", "old\n");
        Request first = NewRequest({"docs/a.txt", "docs/gone.txt"});
        first.options.junkDirs = o.junkDirs;
        ASSERT_EQ(Run(first).status, ZIP_OK);
        fs::remove(src / "docs" / "gone.txt");
        for (const std::string decoy : {"\uFF5E\U0001F600\u00E9", "\u301C\U0001F601\u00E9", "\u301C\U0001F600e",
                                        "\u301C\U0001F600\u00E8", "???", "___"}) {
            WriteFile(src / fs::u8path("f" + decoy + ".txt"), "decoy");
            WriteFile(src / fs::u8path("d" + decoy) / "in.txt", "decoy");
        }
        ExpectedArchive want{{name("docs/gone.txt"), Expected::File("old\n")},
                             {name("docs/a.txt"), Expected::File(LineEnds(kText, lineEnds))}};
        const std::tuple<std::string, std::string, bool> added[] = {  // name, content, left out by an option
            {"docs/b.bin", kBinary, false}, {"docs/empty.txt", "", false}, {"日本語.txt", "日本\r\n", false},
            {"docs/sub/c.txt", "gamma\n", !!o.includeDate}, {"docs/.hidden", "secret\n", !o.systemFiles},
            {"f" + odd + ".txt", "file", false}, {"d" + odd + "/in.txt", "folder", false},
            // Names a Windows file name may hold: pattern characters, a 0x5C trail byte, a trailing dot or space.
            {"docs/ !#$%&'()+,;=@[]^_`{}~.txt", "odd", false}, {"docs/表示ｶﾅ.txt", "odd", false},
            {"docs/trailing dot.", "odd", false}, {"docs/trailing space ", "odd", false},
            {"docs/" + std::string(250, 'x'), "long", false}};
        for (const auto& [rel, content, left] : added) {
            WriteFile(src / fs::u8path(rel), content);
            if (c.mode != kFreshen && !left)
                want[name(rel)] = Expected::File(content == kBinary ? content : LineEnds(content, lineEnds));
        }
        if (c.mode != kFreshen && !o.noDirEntries && !o.junkDirs)
            want["docs/"] = want["docs/sub/"] = want["d" + odd + "/"] = Expected::Dir();
        fs::create_directory_symlink(folder.Path() / "outside", src / "docs" / "link");
        fs::create_symlink(folder.Path() / "gone", src / "docs" / "dangling");
        ASSERT_EQ(mkfifo((src / "docs" / "pipe").c_str(), 0644), 0);  // opening it would wait for a writer
        Touch(src / "docs" / "a.txt", 10);
        Touch(src / "docs" / "sub" / "c.txt", -3 * 86400);

        r.date = today;
        r.tempDir = Utf8(workDir);
        r.options.move = c.mode == kMove;
        r.options.update = c.mode == kUpdate;
        r.options.freshen = c.mode == kFreshen;
        bool tempInWork = false;
        Outcome out = Run(r, {.passwords = {"pass word", "pass word"}, .comment = "新しい注釈",
                              .onService = [&](const std::string&) { tempInWork |= !Temporaries(workDir).empty(); }});
        ASSERT_EQ(out.status, ZIP_OK) << out.log;
        Check(want, o.encrypt ? "pass word" : "");
        EXPECT_EQ(tempInWork, !!o.useTempDir);
        EXPECT_EQ(out.log.find("f<U+301C><U+1F600><U+00E9>.txt") == std::string::npos, c.mode == kFreshen) << out.log;
        EXPECT_EQ(out.log.find('?'), std::string::npos) << out.log;
        for (const char* line : {"スキップ: docs/link はリンク", "スキップ: docs/dangling はリンク", "スキップ: docs/pipe はデバイス"})
            EXPECT_NE(out.log.find(line), std::string::npos) << out.log;
        EXPECT_EQ(*c.probe ? Python(c.probe, archive) : "", c.expect);
        // Move deletes exactly the stored originals, and the folders this empties.
        EXPECT_EQ(Exists(src / "日本語.txt"), c.mode != kMove);
        EXPECT_EQ(Exists(src / fs::u8path("d" + odd)), c.mode != kMove);
        EXPECT_TRUE(Exists(src / "docs" / "link") && Exists(src / "docs" / "pipe"));
    }
}

// Runs that fail leave the old archive, or the file that is not one, exactly as it was and no temporary file. Faults of
// file operations: the fault sweep. The release build refuses to run uninitialised, and has no test hooks.
TEST_F(EngineTest, FailedRunsLeaveTheOldFileByteForByte) {
    ZipCallbacks missing{};
    EXPECT_EQ(engine.init(nullptr), 0);
    EXPECT_EQ(engine.init(&missing), 0);
    EXPECT_EQ(engine.archive(ZipFileList{0, "x.zip", nullptr}), ZIP_BAD_REQUEST);
    EXPECT_EQ(engine.Symbol("ZpTestArmFault"), nullptr);
    WriteFile(src / "x" / "same.txt", "1");
    WriteFile(src / "y" / "same.txt", "2");
    WriteFile(src / "y" / "more.txt", "3");
    ASSERT_EQ(Run(NewRequest({"x"})).status, ZIP_OK);
    const std::string valid = ReadFile(archive);
    const struct {
        const char* name;
        std::function<void(Request&, Answers&)> set;
        int status;
        const char* message;
        std::string bytes = "";  // the file in the archive's place instead, when set
    } cases[] = {
        {"cancel at second entry", [](Request&, Answers& a) { a.cancelAtService = 2; }, ZIP_CANCELLED, "中止"},
        {"password empty", [](Request& r, Answers& a) { r.options.encrypt = 1; a.passwords = {"", ""}; },
         ZIP_PASSWORD, "パスワードが入力されませんでした"},
        {"password mismatch", [](Request& r, Answers& a) { r.options.encrypt = 1; a.passwords = {"abc", "abd"}; },
         ZIP_PASSWORD, "一致しません"},
        {"name clash", [](Request& r, Answers&) { r.options.junkDirs = 1; }, ZIP_NAME_CLASH, "x/same.txt と y/same.txt"},
        {"bad date", [](Request& r, Answers&) { r.options.includeDate = 1; r.date = "13452000"; }, ZIP_BAD_REQUEST,
         "13452000"},
        {"nothing matches", [](Request& r, Answers&) { r.names = {"nomatch*"}; }, ZIP_NOTHING_TO_DO, "対象"},
        {"the archive itself", [&](Request& r, Answers&) { r.root = Utf8(folder.Path()) + "/", r.names = {"out.zip"}; },
         ZIP_NOTHING_TO_DO, "out.zip は書庫そのもの"},
        // What follows the UTF-8 mark must be UTF-8, as a library without the mark refuses it.
        {"marked, no UTF-8", [](Request& r, Answers&) { r.names.push_back("\xEF\xBB\xBF\x95\x5C"); }, ZIP_BAD_REQUEST, ""},
        {"not a ZIP", [](Request&, Answers&) {}, ZIP_NOT_A_ZIP, "ZIP書庫として読めません", "this is not an archive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = c.bytes.empty() ? valid : c.bytes;
        WriteFile(archive, before);
        Request r = NewRequest({"x", "y"});
        Answers answers;
        c.set(r, answers);
        Outcome out = Run(r, answers);
        EXPECT_EQ(out.status, c.status) << out.log;
        EXPECT_NE(out.log.find(c.message), std::string::npos) << out.log;
        EXPECT_TRUE(ReadFile(archive) == before) << "old file changed";
        EXPECT_TRUE(Temporaries(folder.Path()).empty());
    }
    fs::remove(archive);  // a run that fails before writing creates nothing
    EXPECT_EQ(Run(NewRequest({"nomatch"})).status, ZIP_NOTHING_TO_DO);
    EXPECT_FALSE(Exists(archive));
}

// Archives from other writers (data descriptors, a stub in front, Zip64 records on a small archive, a
// deflated entry with all its sizes and offset in Zip64 fields, encryption, methods this engine does not
// write) keep their entries, copied raw. A name that matches nothing makes the run partial.
TEST_F(EngineTest, UpdatesArchivesFromOtherWriters) {
    WriteFile(src / "new.txt", "added");
    for (std::string seed : {"descriptor-comment.zip", "stub.zip", "zip64.zip", "zip64-deflated.zip",
                             "engine-encrypted.zip", "empty.zip", "other-methods.zip"}) {
        SCOPED_TRACE(seed);
        fs::copy_file(fs::path(FUZZ_CORPUS) / seed, archive, fs::copy_options::overwrite_existing);
        std::istringstream listing(Python("import zipfile,sys;z=zipfile.ZipFile(sys.argv[1],metadata_encoding=\"cp932\");"
                                          "z.setpassword(b\"seed\");[print(i.filename, \"d\" if i.is_dir() else \"f\" + z.read(i).hex()) for i in z.infolist()]",
                                          archive));
        ExpectedArchive want{{"new.txt", Expected::File("added")}};
        for (std::string name, hex; listing >> name >> hex;) {
            want[name] = hex == "d" ? Expected::Dir() : Expected();
            for (std::size_t i = 1; i + 1 < hex.size(); i += 2)
                want[name].content += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
        Request r = NewRequest({"new.txt", "missing.txt"});
        r.options.encrypt = seed.find("encrypted") != std::string::npos;
        Outcome out = Run(r, {.passwords = {"seed", "seed"}});
        ASSERT_EQ(out.status, ZIP_PARTIAL) << out.log;
        EXPECT_NE(out.log.find("missing.txt に一致するファイルがありません"), std::string::npos) << out.log;
        Check(want, r.options.encrypt ? "seed" : "");
    }
}

// Large files stream through deflate in pieces on worker threads, the archive the same byte for byte
// without threads; a CR/LF split between 1 MiB chunks stays one line end, a late NUL still makes a file
// binary. Data that does not compress is stored, in memory and streamed; a streamed file that begins so
// is deflated from where it compresses on. No entry is larger than its data. Encrypted too.
TEST_F(EngineTest, LargeFilesInBlocksAndChunks) {
    std::string text = std::string((1 << 20) - 1, 'x') + "\r\nnext\n";
    for (int i = 0; text.size() < (9u << 20); ++i) text += "line " + std::to_string(i * 7919 % 100000) + ": a quick fox\n";
    text += "last\r";
    const std::string noise = Noise(6 << 20);
    ExpectedArchive want{
        {"large.txt", Expected::File(text)},
        {"late.bin", Expected::File(std::string(3 << 20, 'y') + "\r\n" + std::string(1, '\0'))},
        {"video.bin", Expected::File(noise)},                            // streamed, stored
        {"mixed.bin", Expected::File(noise.substr(0, 3 << 20) + text)},  // streamed, deflated from its 4th MiB on
        {"photo.jpg", Expected::File(noise.substr(0, 300 << 10))},       // in memory, stored
        {"one.txt", Expected::File("1")},                                // deflate would add two bytes
    };
    for (const auto& [name, e] : want) WriteFile(src / name, e.content);
    Request r = NewRequest({"*"});
    r.options.crlfToLf = 1;
    ASSERT_EQ(Run(r).status, ZIP_OK);
    want["large.txt"] = Expected::File(LineEnds(text, 1));
    Check(want);
    // Methods by name, then what any entry adds to its data: nothing.
    EXPECT_EQ(Python("sorted((i.filename, i.compress_type) for i in z.infolist()), "
                     "max(i.compress_size - i.file_size for i in z.infolist())", archive),
              "[(\'large.txt\', 8), (\'late.bin\', 8), (\'mixed.bin\', 8), (\'one.txt\', 0), "
              "(\'photo.jpg\', 0), (\'video.bin\', 0)] 0");
    const std::string threaded = ReadFile(archive);
    fs::remove(archive);
    ASSERT_EQ(RunRequest(faulty, r, {}).status, ZIP_OK);  // the test build has no worker threads
    EXPECT_TRUE(ReadFile(archive) == threaded) << "the archive depends on the number of threads";
    fs::remove(archive);
    r.options.encrypt = 1;  // streamed pieces encrypted as one stream
    ASSERT_EQ(Run(r, {.passwords = {"block", "block"}}).status, ZIP_OK);
    Check(want, "block");
}

// 65,535 entries need the Zip64 end records (0xFFFF in the short count means "see Zip64"), which an update
// reads back; there a new comment alone is a change, and the longest a ZIP can carry is offered whole. The
// update also stores an entry over 4 GiB (sparse on disk) and a small one behind it: Zip64 sizes in both
// headers and a Zip64 offset. The test build keeps every record in its own run on disk: its stores merge
// thousands of runs in passes.
TEST_F(EngineTest, Zip64ForManyAndLargeEntriesAndANewCommentAlone) {
    reinterpret_cast<void (*)(unsigned)>(faulty.Symbol("ZpTestSetRecordBudget"))(64);
    auto Run = [&](const Request& r, const Answers& answers = Answers()) { return RunRequest(faulty, r, answers); };
    constexpr std::uint64_t kBig = (4ull << 30) + 12345;
    TempFolder memory(MemoryTemp(kBig + (1ull << 30)));  // the archive need not reach the disk
    src = memory.Path() / "src";
    archive = memory.Path() / "out.zip";
    ExpectedArchive want{{"big.bin", Expected::Zeros(kBig)}, {"small.txt", Expected::File("after the big one")}};
    for (int i = 0; i < 65535; ++i) {
        std::string name = "many/" + std::to_string(i / 1000) + "/" + std::to_string(i);
        if (i % 1000 == 0) fs::create_directories(src / "many" / std::to_string(i / 1000));
        std::ofstream(src / name, std::ios::binary) << i;
        want[name] = Expected::File(std::to_string(i));
    }
    Request r = NewRequest({"many"});
    r.options.noDirEntries = 1;
    r.options.quiet = INT_MIN;  // any value but 0 is on
    r.options.comment = 1;
    Outcome out = Run(r, {.comment = std::string(65535, 'c')});
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(out.log, "");  // quiet: errors only
    EXPECT_NE(ReadFile(archive).find("PK\x06\x06"), std::string::npos) << "no Zip64 end record";
    r.options.update = 1;
    out = Run(r, {.comment = "短い"});  // every file as stored
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(out.commentOffered, std::string(65535, 'c'));
    WriteFile(src / "big.bin", "");
    fs::resize_file(src / "big.bin", kBig);
    WriteFile(src / "small.txt", "after the big one");
    r.names = {"many", "big.bin", "small.txt"};
    r.options.level = '0';
    ASSERT_EQ(Run(r).status, ZIP_OK);  // the comment left as offered
    EXPECT_EQ(Python("z.comment.decode(\"cp932\"), z.getinfo(\"small.txt\").header_offset > 4 << 30", archive),
              "短い True");
    Check(want);
}

std::uint64_t Get(const std::string& bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// A field of an archive made to lie: width bytes at offset at, raised ('+') or lowered ('-') by, or set ('=') to by.
struct Lie {
    const char* what;
    std::size_t at;
    int width;
    char op;
    std::uint64_t by;
};

// Hostile and unusual input, archives and places: the engine refuses cleanly (old archive byte for byte, no
// temporary file) or writes an archive all three readers accept.
class HostileInputTest : public EngineTest {
protected:
    const ExpectedArchive oldEntries{
        {"k/", Expected::Dir()}, {"k/one.txt", Expected::File("one")}, {"k/two.txt", Expected::File("two two two")}};

    void SetUp() override {
        EngineTest::SetUp();
        WriteFile(src / "k" / "one.txt", "one");
        WriteFile(src / "k" / "two.txt", "two two two");
        WriteFile(src / "n.txt", "new file");
    }

    // Adds n.txt to the archive at `at`, which holds `before`: refused cleanly (the file as it was, the reason
    // in the log, no temporary file), or accepted with the old entries and n.txt. Tells which.
    bool AddNew(const fs::path& at, const std::string& before, const fs::path& work = {}, const char* reason = "エラー") const {
        SCOPED_TRACE("adding to " + Utf8(at) + " through " + Utf8(work));
        Request r = ::NewRequest(src, at, {"n.txt"});
        r.options.useTempDir = !work.empty();
        r.tempDir = Utf8(work);
        const Outcome out = RunRequest(engine, r, {});
        EXPECT_TRUE(Temporaries(folder.Path()).empty());
        if (out.status != ZIP_OK) {
            EXPECT_TRUE(ReadFile(at) == before) << "refused (" << out.status << ") but changed the file";
            EXPECT_NE(out.log.find(reason), std::string::npos) << out.log;
            return false;
        }
        ExpectedArchive want = oldEntries;
        want["n.txt"] = Expected::File("new file");
        EXPECT_EQ(ReaderProblems(Utf8(at), want), "") << "accepted, but wrote a bad archive\n" << out.log;
        return true;
    }
};

// Adding n.txt to an archive cut at every length, or with a field of its central directory made to lie within the
// file (bytes out of bounds, Zip64 records: the fuzz target; files that are no archive: the failed runs of
// EngineTest): refused cleanly, or, where the lie does not matter, accepted with every old entry intact.
TEST_F(HostileInputTest, DamagedArchivesAreRefusedOrKeptWhole) {
    Request request = NewRequest({"k"});
    request.options.comment = 1;
    Answers answers;
    answers.comment = "comment";
    ASSERT_EQ(RunRequest(engine, request, answers).status, ZIP_OK);
    const std::string valid = ReadFile(archive);
    std::vector<std::pair<std::string, std::string>> damaged;  // what, bytes
    for (std::size_t length = 0; length < valid.size(); ++length)
        damaged.emplace_back("cut at " + std::to_string(length), valid.substr(0, length));
    const std::size_t end = valid.rfind("PK\x05\x06"), central = Get(valid, end + 16, 4);
    // The central header of k/one.txt, the second, and its local header.
    const std::size_t second = central + 46 + Get(valid, central + 28, 2) + Get(valid, central + 30, 2) +
                               Get(valid, central + 32, 2);
    const std::size_t local = Get(valid, second + 42, 4);
    for (const Lie& lie : std::initializer_list<Lie>{
             {"entries on this disk + 1", end + 8, 2, '+', 1}, {"entries on this disk - 1", end + 8, 2, '-', 1},
             {"total entries + 1", end + 10, 2, '+', 1}, {"total entries - 1", end + 10, 2, '-', 1},
             {"both counts 0", end + 8, 4, '=', 0}, {"both counts 0xFFFF without Zip64", end + 8, 4, '=', 0xFFFFFFFF},
             {"directory size + 1", end + 12, 4, '+', 1}, {"directory size - 1", end + 12, 4, '-', 1},
             {"directory offset + 1", end + 16, 4, '+', 1}, {"directory offset - 1", end + 16, 4, '-', 1},
             {"compressed size + 1", second + 20, 4, '+', 1}, {"compressed size - 1", second + 20, 4, '-', 1},
             {"uncompressed size + 1", second + 24, 4, '+', 1},
             {"uncompressed size 0xFFFFFFFF without Zip64", second + 24, 4, '=', 0xFFFFFFFF},
             {"CRC wrong", second + 16, 4, '+', 1}, {"local offset + 1", second + 42, 4, '+', 1},
             {"local offset into the directory", second + 42, 4, '=', central},
             {"local header signature", local, 4, '=', 0x02014B50}, {"local name length differs", local + 26, 2, '+', 1},
         }) {
        std::string bytes = valid;
        const std::uint64_t was = Get(valid, lie.at, lie.width);
        const std::uint64_t value = lie.op == '=' ? lie.by : lie.op == '+' ? was + lie.by : was - lie.by;
        for (int i = 0; i < lie.width; ++i) bytes[lie.at + i] = static_cast<char>(value >> (8 * i));
        damaged.emplace_back(lie.what, bytes);
    }
    int accepted = 0;
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        WriteFile(archive, bytes);
        accepted += AddNew(archive, bytes);
    }
    std::cout << "[ FIGURES  ] " << damaged.size() << " archives, " << accepted << " accepted\n";
}

// The archive on a full disk (a tmpfs filled up) or a folder in its place, the work directory full: refused. A
// missing work directory puts the temporary beside the archive.
TEST_F(HostileInputTest, PlacesThatCannotBeWritten) {
    const fs::path full = folder.Path() / "full", missing = folder.Path() / "none";
    Mount fullDisk(full);
    if (!fullDisk.Tmpfs("size=1m")) GTEST_SKIP() << "cannot mount here";
    ASSERT_EQ(Run(NewRequest({"k"})).status, ZIP_OK);
    const std::string old = ReadFile(archive);
    WriteFile(full / "out.zip", old);
    WriteFile(full / "filler", std::string(1 << 20, 'f'));  // as much of it as fits
    EXPECT_FALSE(AddNew(full / "out.zip", old));
    EXPECT_FALSE(AddNew(archive, old, full, "ディスクの空き容量が足りません"));
    fs::create_directories(folder.Path() / "dir.zip");
    EXPECT_FALSE(AddNew(folder.Path() / "dir.zip", "", {}, "はフォルダーなので"));
    EXPECT_TRUE(fs::is_empty(folder.Path() / "dir.zip"));
    EXPECT_TRUE(AddNew(archive, old, missing));
    EXPECT_FALSE(Exists(missing));
}

// A file that changes just before it is read: stored as read, or reported and left out; while read (polled at
// every piece): left out, its old entry kept, the run no success; after it was stored, in its size or its time
// only: stored as it was. Move never deletes a file unless the archive holds what it holds now.
TEST_F(HostileInputTest, FileChangesWhileRead) {
    EngineLibrary polling{ZIP32_FAULTS_LIBRARY};
    reinterpret_cast<void (*)(unsigned)>(polling.Symbol("ZpTestSetHeartbeatInterval"))(0);
    const fs::path big = src / "g" / "big.bin";
    constexpr std::uint64_t kSize = 6 << 20;  // past the size that is compressed ahead
    enum When { kBeforeRead, kWhileRead, kAfterStored };
    const struct {
        const char* name;
        std::uint64_t newSize;
        When when;
    } cases[] = {{"grows", kSize + (1 << 20), kBeforeRead}, {"shrinks", 1 << 20, kBeforeRead},
                 {"empties", 0, kBeforeRead}, {"grows past the block size", 3 * kSize, kBeforeRead},
                 {"grows while read", kSize + (1 << 20), kWhileRead}, {"shrinks while read", 1 << 20, kWhileRead},
                 {"grows after it was stored", kSize + 100, kAfterStored},
                 {"touched after it was stored", kSize, kAfterStored}};
    for (const auto& [name, newSize, when] : cases) {
        for (bool move : {false, true}) {
            SCOPED_TRACE(std::string(name) + (move ? ", move" : ", add"));
            fs::remove(archive);
            WriteFile(src / "g" / "next.bin", "next");
            WriteFile(big, "old");
            ASSERT_EQ(Run(NewRequest({"g/big.bin"})).status, ZIP_OK);
            WriteFile(big, std::string(kSize, '\0'));
            Touch(big, -100);
            Answers answers;
            int polls = 0;
            answers.onService = [&, newSize = newSize, when = when](const std::string& entry) {
                if (entry != (when == kAfterStored ? "g/next.bin" : "g/big.bin")) return;
                if (++polls != (when == kWhileRead ? 2 : 1)) return;
                fs::resize_file(big, newSize);
                Touch(big, 0);
            };
            Request r = NewRequest({"g"});
            r.options.move = move;
            Outcome out = RunRequest(polling, r, answers);
            // Move keeps a file that is no longer as it was found (DELETE_FAILED).
            EXPECT_TRUE(out.status == ZIP_OK || out.status == ZIP_PARTIAL || (move && out.status == ZIP_DELETE_FAILED))
                << out.log;
            const bool left = out.log.find("エラー: g/big.bin は読み込み中に") != std::string::npos ||
                              out.log.find("エラー: g/big.bin を読み込めません") != std::string::npos;
            EXPECT_TRUE(left ? when != kAfterStored && out.status != ZIP_OK : when != kWhileRead) << out.log;
            const ExpectedArchive want{
                {"g/", Expected::Dir()}, {"g/next.bin", Expected::File("next")},
                {"g/big.bin", left ? Expected::File("old") : Expected::Zeros(when == kAfterStored ? kSize : newSize)}};
            EXPECT_EQ(ReaderProblems(Utf8(archive), want), "") << out.log;
            EXPECT_TRUE((move && !left && when != kAfterStored) || (Exists(big) && fs::file_size(big) == newSize));
            EXPECT_TRUE(Temporaries(folder.Path()).empty());
        }
    }
}

}  // namespace
