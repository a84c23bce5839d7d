// The engine through its four exports, loaded from the shared library as the
// program loads it, on real trees in temporary folders. Every archive it
// produces is checked by three independent readers.
#include "engine_client.h"
#include "reader_check.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <fstream>
#include <algorithm>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace {

constexpr const char* kTextA = "alpha\r\nbeta\n";
constexpr const char* kBinary = "\x00\x01\r\n\x02\n";
const std::string kBinaryBytes(kBinary, 6);

std::string ToLf(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
}

std::string ToCrLf(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out += '\r';
        out += s[i];
    }
    return out;
}

// Output of a short Python snippet run on the archive (its first argument).
std::string Python(const std::string& code, const std::string& archive) {
    std::string command = "python3 -c '" + code + "' '" + archive + "' 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

class EngineTest : public ::testing::Test {
protected:
    EngineLibrary engine{ZIP32_LIBRARY};
    TempFolder folder;
    fs::path src = folder.Path() / "src";
    fs::path archive = folder.Path() / "out.zip";

    void SetUp() override { ASSERT_TRUE(engine.Complete()); }

    // docs/ a.txt (CR/LF and LF), b.bin (binary), empty.txt, sub/c.txt,
    // .hidden; 日本語.txt beside it.
    void MakeTree() {
        WriteFile(src / "docs" / "a.txt", kTextA);
        WriteFile(src / "docs" / "b.bin", kBinaryBytes);
        WriteFile(src / "docs" / "empty.txt", "");
        WriteFile(src / "docs" / "sub" / "c.txt", "gamma\n");
        WriteFile(src / "docs" / ".hidden", "secret\n");
        WriteFile(src / "日本語.txt", "日本\r\n");
    }

    Request NewRequest(std::vector<std::string> names) {
        Request r;
        r.root = Utf8(src) + "/";
        r.archive = Utf8(archive);
        r.names = std::move(names);
        return r;
    }

    Outcome Run(const Request& r, const Answers& answers = Answers()) { return RunRequest(engine, r, answers); }

    // Files and folders left in a folder, besides the archive.
    std::vector<std::string> Leftovers(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(Utf8(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(EngineTest, VersionInitAndOptionsFollowTheContract) {
    ZipVersionInfo info;
    std::memset(&info, 0xAB, sizeof info);
    engine.version(&info);
    EXPECT_EQ(info.size, 60u);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&info)[56], 2);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&info)[57], 3);
    EXPECT_STREQ(info.engineVersion, "0.2.4");
    EXPECT_EQ(std::strlen(info.buildDate), 10u);

    EXPECT_EQ(engine.init(nullptr), 0);
    ZipCallbacks missing{};
    EXPECT_EQ(engine.init(&missing), 0);
    // Not initialised: the request is refused before anything is touched.
    ZipFileList list{0, "x.zip", nullptr};
    EXPECT_EQ(engine.archive(list), ZIP_BAD_REQUEST);
}

TEST_F(EngineTest, CreatesArchiveOfFolderReadableByAllThreeReaders) {
    MakeTree();
    Outcome out = Run(NewRequest({"docs", "日本語.txt"}));
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_TRUE(out.printLengthsMatch);
    ExpectedArchive want{{"docs/", Expected::Dir()},
                         {"docs/a.txt", Expected::File(kTextA)},
                         {"docs/b.bin", Expected::File(kBinaryBytes)},
                         {"docs/empty.txt", Expected::File("")},
                         {"docs/sub/", Expected::Dir()},
                         {"docs/sub/c.txt", Expected::File("gamma\n")},
                         {"日本語.txt", Expected::File("日本\r\n")}};
    ReaderVerdict verdict = CheckWithReaders(Utf8(archive), want);
    EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
    // One service call per entry written, the log names every entry.
    EXPECT_EQ(out.serviceNames.size(), want.size());
    for (const auto& [name, e] : want) EXPECT_NE(out.log.find(name), std::string::npos) << name;
    EXPECT_NE(out.log.find("完了"), std::string::npos);
    // Legacy name in code page 932 plus the Unicode Path field; no UTF-8 flag.
    EXPECT_EQ(Python("import zipfile,sys;i=zipfile.ZipFile(sys.argv[1]).getinfo(\"\\u65e5\\u672c\\u8a9e.txt\".encode(\"cp932\").decode(\"cp437\"));"
                     "print(i.flag_bits & 0x800, b\"up\" in i.extra)",
                     Utf8(archive)),
              "0 True");
}

// Modes x options: every combination runs on the same tree against an old
// archive that holds docs/a.txt and docs/gone.txt, older than the files; the
// result must be what the mode and option ask for, and all three readers
// must accept it. The matrix is printed for the record.
struct OptionCase {
    const char* name;
    std::function<void(Request&)> set;
    bool junk = false, noDirs = false, hidden = false, encrypt = false;
    int lineEnds = 0;  // 1: CR/LF->LF, 2: LF->CR/LF
};

TEST_F(EngineTest, ModesTimesOptionsMatrix) {
    const char* modes[] = {"add", "move", "update", "freshen"};
    std::vector<OptionCase> options = {
        {"default", [](Request&) {}},
        {"level 0", [](Request& r) { r.options.level = '0'; }},
        {"level 9", [](Request& r) { r.options.level = '9'; }},
        {"level x", [](Request& r) { r.options.level = 'x'; }},
        {"encrypt", [](Request& r) { r.options.encrypt = 1; }, false, false, false, true},
        {"no extra", [](Request& r) { r.options.noExtraFields = 1; }},
        {"no dirs", [](Request& r) { r.options.noDirEntries = 1; }, false, true},
        {"junk dirs", [](Request& r) { r.options.junkDirs = 1; }, true, true},
        {"system", [](Request& r) { r.options.systemFiles = 1; }, false, false, true},
        {"crlf->lf", [](Request& r) { r.options.crlfToLf = 1; }, false, false, false, false, 1},
        {"lf->crlf", [](Request& r) { r.options.lfToCrlf = 1; }, false, false, false, false, 2},
        {"both", [](Request& r) { r.options.crlfToLf = r.options.lfToCrlf = 1; }},
        {"latest time", [](Request& r) { r.options.latestTime = 1; }},
        {"short names", [](Request& r) { r.options.shortNames = 1; }},
        {"temp dir", [](Request& r) { r.options.useTempDir = 1; }},
        {"volume", [](Request& r) { r.options.volumeLabel = 1; }},
        {"comment", [](Request& r) { r.options.comment = 1; }},
    };
    std::ostringstream table;
    table << "mode     option        readers accepted\n";
    for (int m = 0; m < 4; ++m) {
        for (const OptionCase& option : options) {
            SCOPED_TRACE(std::string(modes[m]) + " / " + option.name);
            std::error_code ec;
            fs::remove_all(src, ec);
            fs::remove(archive, ec);
            MakeTree();
            WriteFile(src / "docs" / "gone.txt", "old\n");
            // The old archive: docs/a.txt and docs/gone.txt (or their junked names).
            Request first = NewRequest({"docs/a.txt", "docs/gone.txt"});
            first.options.junkDirs = option.junk;
            ASSERT_EQ(Run(first).status, ZIP_OK);
            fs::remove(src / "docs" / "gone.txt");
            for (const char* f : {"a.txt", "b.bin", "empty.txt", "sub/c.txt", ".hidden"}) Touch(src / "docs" / f, 10);
            fs::path work = folder.Path() / "work";
            fs::create_directories(work);

            Request r = NewRequest({"docs"});
            r.tempDir = Utf8(work);
            r.options.move = m == 1;
            r.options.update = m == 2;
            r.options.freshen = m == 3;
            option.set(r);
            Answers answers;
            answers.passwords = {"pass word", "pass word"};
            answers.comment = "新しい注釈";
            Outcome out = Run(r, answers);
            ASSERT_EQ(out.status, ZIP_OK) << out.log;

            auto content = [&](const std::string& s, bool text) {
                if (!text || option.lineEnds == 0) return s;
                return option.lineEnds == 1 ? ToLf(s) : ToCrLf(s);
            };
            auto name = [&](const std::string& rel) {
                return option.junk ? rel.substr(rel.find_last_of('/') + 1) : rel;
            };
            ExpectedArchive want;
            want[name("docs/gone.txt")] = Expected::File("old\n");
            want[name("docs/a.txt")] = Expected::File(content(kTextA, true));
            if (m != 3) {
                want[name("docs/b.bin")] = Expected::File(kBinaryBytes);
                want[name("docs/empty.txt")] = Expected::File("");
                want[name("docs/sub/c.txt")] = Expected::File(content("gamma\n", true));
                if (option.hidden) want[name("docs/.hidden")] = Expected::File(content("secret\n", true));
                if (!option.noDirs) {
                    want["docs/"] = Expected::Dir();
                    want["docs/sub/"] = Expected::Dir();
                }
            }
            ReaderVerdict verdict = CheckWithReaders(Utf8(archive), want, option.encrypt ? "pass word" : "");
            EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe() << "\n" << out.log;
            table << std::left << std::setw(9) << modes[m] << std::setw(14) << option.name << verdict.Accepted()
                  << "\n";

            // Move: exactly the stored originals are gone, with the folders this emptied.
            if (m == 1) {
                EXPECT_FALSE(Exists(src / "docs" / "a.txt"));
                EXPECT_EQ(Exists(src / "docs" / ".hidden"), !option.hidden);
                EXPECT_EQ(Exists(src / "docs"), !option.hidden);
            } else {
                EXPECT_TRUE(Exists(src / "docs" / "a.txt"));
            }
            EXPECT_EQ(Leftovers(work).size(), 0u);
            EXPECT_EQ(Leftovers(folder.Path()), (std::vector<std::string>{"out.zip", "src", "work"}));
            if (std::string(option.name) == "comment") {
                EXPECT_EQ(out.commentCalls, 1);
                EXPECT_EQ(Python("import zipfile,sys;print(zipfile.ZipFile(sys.argv[1]).comment.decode(\"cp932\"))",
                                 Utf8(archive)),
                          "新しい注釈");
            }
            if (option.encrypt) {
                // Everything written in this run is encrypted; the old entry was copied as it was.
                EXPECT_EQ(out.passwordCalls, 2);
                EXPECT_EQ(Python("import zipfile,sys;print(*[i.filename for i in zipfile.ZipFile(sys.argv[1]).infolist() if not i.flag_bits & 1 and not i.is_dir()])",
                                 Utf8(archive)),
                          "docs/gone.txt");
            }
            if (std::string(option.name) == "latest time") {
                EXPECT_EQ(Python("import zipfile,sys,os,time;z=zipfile.ZipFile(sys.argv[1]);"
                                 "print(time.localtime(os.stat(sys.argv[1]).st_mtime)[:6] == max(i.date_time for i in z.infolist()))",
                                 Utf8(archive)),
                          "True");
            }
            if (std::string(option.name) == "no extra") {
                EXPECT_EQ(Python("import zipfile,sys;print(sum(b\"UT\" in i.extra for i in zipfile.ZipFile(sys.argv[1]).infolist() if not i.filename.endswith(\"gone.txt\")))",
                                 Utf8(archive)),
                          "0");
            }
        }
    }
    std::cout << table.str();
    std::ofstream(fs::temp_directory_path() / "tirvo-engine-matrix.txt") << table.str();
}

// Update and freshen compare at the two-second resolution of ZIP times.
TEST_F(EngineTest, UpdateAndFreshenReplaceOnlyOlderEntries) {
    struct Case {
        const char* name;
        bool freshen;
        long long fileAge;   // seconds the file is moved after the archive was made
        bool replaced;
    };
    const Case cases[] = {
        {"update, file newer", false, 10, true},   {"update, same time", false, 0, false},
        {"update, file older", false, -10, false}, {"freshen, file newer", true, 10, true},
        {"freshen, file older", true, -10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ec;
        fs::remove_all(src, ec);
        fs::remove(archive, ec);
        WriteFile(src / "a.txt", "old");
        ASSERT_EQ(Run(NewRequest({"a.txt"})).status, ZIP_OK);
        WriteFile(src / "a.txt", "new");
        WriteFile(src / "b.txt", "added");
        auto when = fs::last_write_time(src / "b.txt");
        fs::last_write_time(src / "a.txt", when + std::chrono::seconds(c.fileAge));
        Touch(src / "b.txt", 0);
        // The archive was made now; make the entry's time equal to the file's "now".
        Request r = NewRequest({"*.txt"});
        r.options.update = !c.freshen;
        r.options.freshen = c.freshen;
        Outcome out = Run(r);
        ASSERT_EQ(out.status, ZIP_OK) << out.log;
        ExpectedArchive want{{"a.txt", Expected::File(c.replaced ? "new" : "old")}};
        if (!c.freshen) want["b.txt"] = Expected::File("added");
        ReaderVerdict verdict = CheckWithReaders(Utf8(archive), want);
        EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
    }
}

// Runs that fail leave the old archive exactly as it was and no temporary file.
TEST_F(EngineTest, FailedRunsLeaveOldArchiveByteForByte) {
    struct Case {
        const char* name;
        std::function<void(Request&, Answers&)> set;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"cancel at second entry", [](Request&, Answers& a) { a.cancelAtService = 2; }, ZIP_CANCELLED, "中止"},
        {"password empty", [](Request& r, Answers& a) { r.options.encrypt = 1; a.passwords = {"", ""}; },
         ZIP_PASSWORD, "パスワードが空"},
        {"password mismatch", [](Request& r, Answers& a) { r.options.encrypt = 1; a.passwords = {"abc", "abd"}; },
         ZIP_PASSWORD, "一致しません"},
        {"name clash", [](Request& r, Answers&) { r.options.junkDirs = 1; }, ZIP_NAME_CLASH, "x/same.txt と y/same.txt"},
        {"bad date", [](Request& r, Answers&) { r.options.includeDate = 1; r.date = "13452000"; }, ZIP_BAD_REQUEST,
         "13452000"},
        {"nothing matches", [](Request& r, Answers&) { r.names = {"nomatch*"}; }, ZIP_NOTHING_TO_DO, "対象"},
    };
    WriteFile(src / "x" / "same.txt", "1");
    WriteFile(src / "y" / "same.txt", "2");
    ASSERT_EQ(Run(NewRequest({"x"})).status, ZIP_OK);
    std::string before = ReadFile(archive);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Request r = NewRequest({"x", "y"});
        Answers answers;
        c.set(r, answers);
        Outcome out = Run(r, answers);
        EXPECT_EQ(out.status, c.status) << out.log;
        EXPECT_NE(out.log.find(c.message), std::string::npos) << out.log;
        EXPECT_TRUE(ReadFile(archive) == before) << "old archive changed";
        EXPECT_EQ(Leftovers(folder.Path()), (std::vector<std::string>{"out.zip", "src"}));
    }
    // No archive is created when the run fails before writing.
    fs::remove(archive);
    Request r = NewRequest({"nomatch"});
    EXPECT_EQ(Run(r).status, ZIP_NOTHING_TO_DO);
    EXPECT_FALSE(Exists(archive));
}

TEST_F(EngineTest, RefusesExistingFileThatIsNotAReadableZip) {
    WriteFile(src / "a.txt", "a");
    ASSERT_EQ(Run(NewRequest({"a.txt"})).status, ZIP_OK);
    std::string valid = ReadFile(archive);
    const std::pair<const char*, std::string> cases[] = {
        {"text", "this is not an archive"},
        {"empty", ""},
        {"truncated", valid.substr(0, valid.size() - 5)},
        {"directory cut off", valid.substr(0, 40) + valid.substr(valid.size() - 22)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteFile(archive, bytes);
        Outcome out = Run(NewRequest({"a.txt"}));
        EXPECT_EQ(out.status, ZIP_NOT_A_ZIP) << out.log;
        EXPECT_NE(out.log.find("ZIP書庫として読めません"), std::string::npos);
        EXPECT_TRUE(ReadFile(archive) == bytes) << "file changed";
    }
}

TEST_F(EngineTest, CommentIsOfferedWholeAndReplaced) {
    WriteFile(src / "a.txt", "a");
    Request r = NewRequest({"a.txt"});
    r.options.comment = 1;
    Answers answers;
    std::string longest(65535, 'c');
    answers.comment = longest;
    Outcome first = Run(r, answers);
    ASSERT_EQ(first.status, ZIP_OK) << first.log;
    EXPECT_EQ(first.commentOffered, "");  // a new archive has no comment
    // Nothing else changes: the new comment alone rewrites the archive.
    answers.comment = "短い";
    Outcome second = Run(r, answers);
    ASSERT_EQ(second.status, ZIP_OK) << second.log;
    EXPECT_EQ(second.commentOffered, longest);
    EXPECT_EQ(Python("import zipfile,sys;print(zipfile.ZipFile(sys.argv[1]).comment.decode(\"cp932\"))", Utf8(archive)),
              "短い");
    EXPECT_TRUE(CheckWithReaders(Utf8(archive), {{"a.txt", Expected::File("a")}}).AllAccepted());
}

// Names are patterns with '*', '?' and classes; the program escapes '[' and
// '-' as "[[]" and "[-]".
TEST_F(EngineTest, NamePatternsSelectFiles) {
    for (const char* f : {"a-b[1].txt", "ab1].txt", "a.txt", "b.txt", "ab.log", "c.txt"}) WriteFile(src / f, f);
    WriteFile(src / "dir" / "in.txt", "in");
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {{"a[-]b[[]1].txt"}, {"a-b[1].txt"}},
        {{"?.txt"}, {"a.txt", "b.txt", "c.txt"}},
        {{"[ab].txt"}, {"a.txt", "b.txt"}},
        {{"[!ab].txt"}, {"c.txt"}},
        {{"*.log", "a.txt"}, {"ab.log", "a.txt"}},
        {{"dir/*.txt"}, {"dir/in.txt"}},
        {{"a.txt", "a.txt", "[a].txt"}, {"a.txt"}},
        {{"a.txt", "missing.txt"}, {"a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names[0]);
        fs::remove(archive);
        Request r = NewRequest(c.names);
        r.options.noDirEntries = 1;
        Outcome out = Run(r);
        // A name that matches nothing is reported and makes the result partial.
        bool missing = c.names.back() == "missing.txt";
        ASSERT_EQ(out.status, missing ? ZIP_PARTIAL : ZIP_OK) << out.log;
        EXPECT_EQ(out.log.find("missing.txt に一致するファイルがありません") != std::string::npos, missing);
        ExpectedArchive want;
        for (const std::string& f : c.files) want[f] = Expected::File(f.rfind("dir/", 0) == 0 ? "in" : f);
        ReaderVerdict verdict = CheckWithReaders(Utf8(archive), want);
        EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
    }
}

// The archive inside the tree it archives, a link out of the tree, a name
// that code page 932 cannot hold, and entries of methods this engine does not
// write, copied raw from the old archive.
TEST_F(EngineTest, TreeEdgeCases) {
    WriteFile(src / "tree" / "a.txt", "a");
    WriteFile(src / "tree" / "한국어.txt", "korean");
    WriteFile(folder.Path() / "outside" / "secret.txt", "must not be archived");
    fs::create_directory_symlink(folder.Path() / "outside", src / "tree" / "link");
    fs::path inner = src / "tree" / "self.zip";
    ASSERT_EQ(Python("import zipfile,sys;z=zipfile.ZipFile(sys.argv[1],\"w\");"
                     "z.writestr(zipfile.ZipInfo(\"bz.txt\"),b\"bzip2 \"*100,compress_type=zipfile.ZIP_BZIP2);"
                     "z.writestr(zipfile.ZipInfo(\"xz.txt\"),b\"lzma \"*100,compress_type=zipfile.ZIP_LZMA);z.close()",
                     Utf8(inner)),
              "");
    archive = inner;
    Outcome out = Run(NewRequest({"tree"}));
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_NE(out.log.find("リンク"), std::string::npos);
    ExpectedArchive want{{"bz.txt", Expected::File(std::string(600, ' '))},
                         {"xz.txt", Expected::File("")},
                         {"tree/", Expected::Dir()},
                         {"tree/a.txt", Expected::File("a")},
                         {"tree/한국어.txt", Expected::File("korean")}};
    std::string bz, xz;
    for (int i = 0; i < 100; ++i) bz += "bzip2 ", xz += "lzma ";
    want["bz.txt"] = Expected::File(bz);
    want["xz.txt"] = Expected::File(xz);
    // 7-Zip and bsdtar both read bzip2 and LZMA entries, so all three must agree.
    ReaderVerdict verdict = CheckWithReaders(Utf8(inner), want);
    EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
    EXPECT_EQ(Python("import zipfile,sys;print([i.flag_bits & 0x800 for i in zipfile.ZipFile(sys.argv[1]).infolist()])",
                     Utf8(inner)),
              "[0, 0, 0, 0, 2048]");
}

TEST_F(EngineTest, DateFiltersSelectByDay) {
    WriteFile(src / "old.txt", "old");
    WriteFile(src / "new.txt", "new");
    Touch(src / "old.txt", -3 * 86400);
    std::time_t now = std::time(nullptr);
    std::tm today = *std::localtime(&now);
    char date[16];
    std::strftime(date, sizeof date, "%m%d%Y", &today);
    struct Case {
        const char* name;
        bool onOrAfter, before;
        std::vector<std::string> files;
        int status;
    };
    const Case cases[] = {
        {"on or after today", true, false, {"new.txt"}, ZIP_OK},
        {"before today", false, true, {"old.txt"}, ZIP_OK},
        {"both: nothing is both", true, true, {}, ZIP_NOTHING_TO_DO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(archive);
        Request r = NewRequest({"*.txt"});
        r.date = date;
        r.options.includeDate = c.onOrAfter;
        r.options.excludeDate = c.before;
        EXPECT_EQ(Run(r).status, c.status);
        if (c.status != ZIP_OK) continue;
        ExpectedArchive want;
        for (const std::string& f : c.files) want[f] = Expected::File(f.substr(0, 3));
        EXPECT_TRUE(CheckWithReaders(Utf8(archive), want).AllAccepted());
    }
}

// Archives from other writers (data descriptors, a stub in front, Zip64
// records on a small archive, encrypted entries) are updated with their
// entries copied raw.
TEST_F(EngineTest, UpdatesArchivesFromOtherWriters) {
    WriteFile(src / "new.txt", "added");
    for (const char* seed : {"descriptor-comment.zip", "stub.zip", "zip64.zip", "engine-encrypted.zip", "empty.zip"}) {
        SCOPED_TRACE(seed);
        bool encrypted = std::string(seed).find("encrypted") != std::string::npos;
        fs::copy_file(fs::path(FUZZ_CORPUS) / seed, archive, fs::copy_options::overwrite_existing);
        // What the archive holds now, as Python reads it.
        std::string listing = Python("import zipfile,sys;z=zipfile.ZipFile(sys.argv[1],metadata_encoding=\"cp932\");"
                                     "z.setpassword(b\"seed\");"
                                     "[print(i.filename, z.read(i).hex()) for i in z.infolist()]",
                                     Utf8(archive));
        ExpectedArchive want{{"new.txt", Expected::File("added")}};
        std::istringstream lines(listing);
        for (std::string name, hex; lines >> name;) {
            if (name.back() == '/') {
                want[name] = Expected::Dir();
                continue;
            }
            lines >> hex;
            std::string bytes;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            want[name] = Expected::File(bytes);
        }
        Request r = NewRequest({"new.txt"});
        r.options.encrypt = encrypted;
        Answers answers;
        answers.passwords = {"seed", "seed"};
        Outcome out = Run(r, answers);
        ASSERT_EQ(out.status, ZIP_OK) << out.log;
        ReaderVerdict verdict = CheckWithReaders(Utf8(archive), want, encrypted ? "seed" : "");
        EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe() << "\n" << listing;
    }
}

// Files larger than what is compressed ahead in memory stream through
// deflate in blocks on worker threads; back-references cross the block
// boundaries, and the archive is the same byte for byte however many
// threads there are.
TEST_F(EngineTest, LargeFilesAreDeflatedInBlocks) {
    std::string text;
    for (int i = 0; text.size() < (9u << 20) + 777; ++i)
        text += "line " + std::to_string(i * 7919 % 100000) + ": the quick brown fox jumps over the lazy dog\n";
    WriteFile(src / "large.txt", text);
    struct Case {
        const char* name;
        char level;
        bool lfToCrlf, encrypt;
    };
    const Case cases[] = {{"level 6", '6', false, false}, {"level 1, LF to CR/LF", '1', true, false},
                          {"level 9, encrypted", '9', false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(archive);
        Request r = NewRequest({"large.txt"});
        r.options.level = c.level;
        r.options.lfToCrlf = c.lfToCrlf;
        r.options.encrypt = c.encrypt;
        Answers answers;
        answers.passwords = {"block", "block"};
        ASSERT_EQ(Run(r, answers).status, ZIP_OK);
        ReaderVerdict verdict = CheckWithReaders(Utf8(archive), {{"large.txt", Expected::File(c.lfToCrlf ? ToCrLf(text) : text)}},
                                                 c.encrypt ? "block" : "");
        EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
        EXPECT_LT(fs::file_size(archive), text.size() / 4);
        if (c.encrypt) continue;
        // The test build of the engine runs without worker threads: same bytes.
        std::string first = ReadFile(archive);
        fs::remove(archive);
        EngineLibrary singleThreaded(ZIP32_FAULTS_LIBRARY);
        ASSERT_EQ(RunRequest(singleThreaded, r, answers).status, ZIP_OK);
        EXPECT_TRUE(ReadFile(archive) == first) << "the archive depends on the number of threads";
    }
}

// A work directory on another file system: the finished archive is copied
// beside the old one and renamed there, and both temporary files go.
TEST_F(EngineTest, WorkDirectoryOnAnotherDrive) {
    struct stat here {}, there {};
    fs::path other = fs::path("/dev/shm") / ("tirvo-work-" + std::to_string(::getpid()));
    if (::stat("/dev/shm", &there) != 0 || ::stat(folder.Path().c_str(), &here) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system for the work directory";
    fs::create_directories(other);
    WriteFile(src / "a.txt", "a");
    ASSERT_EQ(Run(NewRequest({"a.txt"})).status, ZIP_OK);
    WriteFile(src / "b.txt", "b");
    Request r = NewRequest({"b.txt"});
    r.tempDir = Utf8(other);
    r.options.useTempDir = 1;
    Outcome out = Run(r);
    EXPECT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_TRUE(CheckWithReaders(Utf8(archive), {{"a.txt", Expected::File("a")}, {"b.txt", Expected::File("b")}})
                    .AllAccepted());
    EXPECT_EQ(Leftovers(other).size(), 0u);
    EXPECT_EQ(Leftovers(folder.Path()), (std::vector<std::string>{"out.zip", "src"}));
    fs::remove_all(other);
}

// The file is read in 1 MiB chunks: a CR/LF pair split between two chunks
// is still one line end, and a NUL far into a file still makes it binary.
TEST_F(EngineTest, LineEndsAcrossReadChunks) {
    std::string text = std::string((1 << 20) - 1, 'x') + "\r\nnext\nlast\r";
    std::string binary = std::string((3 << 20), 'y') + "\r\n" + std::string(1, '\0');
    WriteFile(src / "split.txt", text);
    WriteFile(src / "late.bin", binary);
    for (int direction = 1; direction <= 2; ++direction) {
        SCOPED_TRACE(direction == 1 ? "CR/LF to LF" : "LF to CR/LF");
        fs::remove(archive);
        Request r = NewRequest({"split.txt", "late.bin"});
        r.options.crlfToLf = direction == 1;
        r.options.lfToCrlf = direction == 2;
        ASSERT_EQ(Run(r).status, ZIP_OK);
        ReaderVerdict verdict = CheckWithReaders(
            Utf8(archive), {{"split.txt", Expected::File(direction == 1 ? ToLf(text) : ToCrLf(text))},
                            {"late.bin", Expected::File(binary)}});
        EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
    }
}

// More than 65,535 entries need the Zip64 end records.
TEST_F(EngineTest, Zip64ForManyEntries) {
    constexpr int kFiles = 65600;
    ExpectedArchive want;
    for (int i = 0; i < kFiles; ++i) {
        std::string name = "many/" + std::to_string(i / 1000) + "/" + std::to_string(i);
        if (i % 1000 == 0) fs::create_directories(src / "many" / std::to_string(i / 1000));
        std::ofstream(src / name, std::ios::binary) << i;
        want[name] = Expected::File(std::to_string(i));
    }
    Request r = NewRequest({"many"});
    r.options.noDirEntries = 1;
    r.options.quiet = 1;
    Outcome out = Run(r);
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(out.log.find("追加:"), std::string::npos);  // quiet: no line per entry
    ReaderVerdict verdict = CheckWithReaders(Utf8(archive), want);
    EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
    // Updating it reads the Zip64 records back.
    WriteFile(src / "many" / "0" / "0", "changed");
    want["many/0/0"] = Expected::File("changed");
    r.names = {"many/0/0"};
    ASSERT_EQ(Run(r).status, ZIP_OK);
    verdict = CheckWithReaders(Utf8(archive), want);
    EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
}

// An entry over 4 GiB, stored, then a small one behind it: Zip64 sizes in
// both headers, a Zip64 offset and Zip64 end records.
TEST_F(EngineTest, Zip64ForEntriesAndArchivesOver4GiB) {
    constexpr std::uint64_t kBig = (4ull << 30) + 12345;
    fs::create_directories(src);
    { std::ofstream(src / "big.bin", std::ios::binary); }
    fs::resize_file(src / "big.bin", kBig);  // sparse: zeros without the disk space
    WriteFile(src / "small.txt", "after the big one");
    Request r = NewRequest({"big.bin", "small.txt"});
    r.options.level = '0';
    Outcome out = Run(r);
    ASSERT_EQ(out.status, ZIP_OK) << out.log;
    EXPECT_EQ(out.serviceSizes.front(), 0xFFFFFFFFu);  // clamped to 32 bits
    ExpectedArchive want;
    want["big.bin"].zeros = kBig;
    want["small.txt"] = Expected::File("after the big one");
    ReaderVerdict verdict = CheckWithReaders(Utf8(archive), want);
    EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
    // Deflated as well: the local header carries the Zip64 field from the start.
    fs::remove(archive);
    r.options.level = '1';
    r.names = {"big.bin"};
    ASSERT_EQ(Run(r).status, ZIP_OK);
    want.erase("small.txt");
    verdict = CheckWithReaders(Utf8(archive), want);
    EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe();
}

// The test build of the engine can make the n-th file operation fail.
class FaultTest : public EngineTest {
protected:
    EngineLibrary faulty{ZIP32_FAULTS_LIBRARY};
    void Arm(int op, int n) {
        using ArmFn = void (*)(int, int);
        reinterpret_cast<ArmFn>(faulty.Symbol("ZpTestArmFault"))(op, n);
    }
    enum { kRead, kWrite, kFlush, kRename, kDelete };
};

TEST_F(FaultTest, ShippedLibraryHasNoFaultHook) {
    EXPECT_EQ(engine.Symbol("ZpTestArmFault"), nullptr);
    EXPECT_NE(faulty.Symbol("ZpTestArmFault"), nullptr);
}

TEST_F(FaultTest, WriteFlushAndRenameFailuresKeepOldArchive) {
    // Incompressible, so that the new archive takes several writes.
    std::string noise(6 << 20, '\0');
    std::uint32_t x = 12345;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    WriteFile(src / "d" / "a.txt", noise);
    WriteFile(src / "d" / "b.txt", "b");
    ASSERT_EQ(RunRequest(faulty, NewRequest({"d/a.txt"}), Answers()).status, ZIP_OK);
    std::string before = ReadFile(archive);
    const std::pair<int, int> cases[] = {{kWrite, 1}, {kWrite, 3}, {kFlush, 1}, {kRename, 1}};
    for (const auto& [op, n] : cases) {
        SCOPED_TRACE(std::to_string(op) + "/" + std::to_string(n));
        Arm(op, n);
        Outcome out = RunRequest(faulty, NewRequest({"d"}), Answers());
        Arm(op, 0);
        EXPECT_EQ(out.status, ZIP_WRITE_FAILED) << out.log;
        EXPECT_TRUE(ReadFile(archive) == before) << "old archive changed";
        EXPECT_EQ(Leftovers(folder.Path()), (std::vector<std::string>{"out.zip", "src"}));
    }
}

// Move: a file that cannot be read is reported and kept, the rest archived
// and deleted; a delete that fails leaves the archive in place.
TEST_F(FaultTest, MoveKeepsWhatItCouldNotStore) {
    WriteFile(src / "d" / "a.txt", "a");
    WriteFile(src / "d" / "b.txt", "b");
    Request r = NewRequest({"d"});
    r.options.move = 1;
    Arm(kRead, 1);  // no old archive: the first read is d/a.txt
    Outcome out = RunRequest(faulty, r, Answers());
    Arm(kRead, 0);
    EXPECT_EQ(out.status, ZIP_PARTIAL) << out.log;
    EXPECT_NE(out.log.find("d/a.txt を読み込めません"), std::string::npos) << out.log;
    EXPECT_TRUE(Exists(src / "d" / "a.txt"));
    EXPECT_FALSE(Exists(src / "d" / "b.txt"));
    EXPECT_TRUE(CheckWithReaders(Utf8(archive), {{"d/", Expected::Dir()}, {"d/b.txt", Expected::File("b")}})
                    .AllAccepted());

    Arm(kDelete, 1);
    out = RunRequest(faulty, r, Answers());
    Arm(kDelete, 0);
    EXPECT_EQ(out.status, ZIP_DELETE_FAILED) << out.log;
    EXPECT_TRUE(Exists(src / "d" / "a.txt"));
    EXPECT_TRUE(CheckWithReaders(Utf8(archive), {{"d/", Expected::Dir()},
                                                 {"d/a.txt", Expected::File("a")},
                                                 {"d/b.txt", Expected::File("b")}})
                    .AllAccepted());
}

}  // namespace
