// Settings are taken from the registry as stored, and the request copies
// its flags as they are: every int setting at -1 and at the smallest and
// largest int, one at a time, reaches the engine through the program's own
// request code. The engine must run and write an archive the readers accept
// (or find nothing to do where a date filter excludes everything).
#include "engine_client.h"
#include "job/request_records.h"
#include "reader_check.h"
#include "test_tree.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Field {
    const char* name;
    int Settings::*member;
};

const Field kFields[] = {
    {"bTemp", &Settings::bTemp},         {"bSystem", &Settings::bSystem},
    {"bVolume", &Settings::bVolume},     {"bExtra", &Settings::bExtra},
    {"bNoDirEntries", &Settings::bNoDirEntries}, {"bExcludeDate", &Settings::bExcludeDate},
    {"bIncludeDate", &Settings::bIncludeDate},   {"bQuiet", &Settings::bQuiet},
    {"bCRLF_LF", &Settings::bCRLF_LF},   {"bLF_CRLF", &Settings::bLF_CRLF},
    {"bLatestTime", &Settings::bLatestTime}, {"nLevel", &Settings::nLevel},
    {"bEncrypt", &Settings::bEncrypt},   {"bJunkDir", &Settings::bJunkDir},
    {"bForce", &Settings::bForce},       {"bComment", &Settings::bComment},
    {"nMode", &Settings::nMode},         {"bTopMost", &Settings::bTopMost},
};

TEST(StoredFlags, EveryIntSettingAtExtremesReachesTheEngineSafely) {
    EngineLibrary engine{ZIP32_LIBRARY};
    ASSERT_TRUE(engine.Complete());
    TempFolder folder;
    const std::string binary("\x00\x01\x02 binary\r\n", 12);
    int runs = 0;
    for (const Field& field : kFields) {
        for (int value : {-1, INT_MIN, INT_MAX}) {
            SCOPED_TRACE(std::string(field.name) + " = " + std::to_string(value));
            fs::remove_all(folder.Path() / "src");
            fs::remove(folder.Path() / "out.zip");
            WriteFile(folder.Path() / "src" / "k" / "a.bin", binary);
            WriteFile(folder.Path() / "src" / "k" / "sub" / "b.bin", binary + "b");
            Settings settings;
            settings.*field.member = value;
            Request request;
            FillOptionFlags(request.options, settings);
            request.root = Utf8(folder.Path() / "src") + "/";
            request.archive = Utf8(folder.Path() / "out.zip");
            request.date = "12292000";
            request.names = {"k"};
            Answers answers;
            answers.passwords = {"pw", "pw"};
            answers.comment = "c";
            Outcome out = RunRequest(engine, request, answers);
            ++runs;
            if (settings.bExcludeDate) {
                EXPECT_EQ(out.status, ZIP_NOTHING_TO_DO) << out.log;
                continue;
            }
            ASSERT_EQ(out.status, ZIP_OK) << out.log;
            bool junk = settings.bJunkDir != 0, noDirs = settings.bNoDirEntries != 0 || junk;
            ExpectedArchive want{{junk ? "a.bin" : "k/a.bin", Expected::File(binary)},
                                 {junk ? "b.bin" : "k/sub/b.bin", Expected::File(binary + "b")}};
            if (!noDirs) {
                want["k/"] = Expected::Dir();
                want["k/sub/"] = Expected::Dir();
            }
            ReaderVerdict verdict =
                CheckWithReaders(request.archive, want, settings.bEncrypt ? std::string("pw") : std::string());
            EXPECT_TRUE(verdict.AllAccepted()) << verdict.Describe() << "\n" << out.log;
            bool moved = settings.nMode == 1;
            EXPECT_EQ(fs::exists(folder.Path() / "src" / "k" / "a.bin"), !moved);
        }
    }
    std::cout << "[ FIGURES  ] " << runs << " runs with stored extremes\n";
}

}  // namespace
