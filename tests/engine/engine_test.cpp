// The engine through its four exports, loaded from the shared library as the
// program loads it, on real trees in temporary folders. Every archive it
// produces is checked by three independent readers.
#include "engine_client.h"
#include "reader_check.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
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

}  // namespace
