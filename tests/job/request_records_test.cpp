#include "job/request_records.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Where a field of the 32-bit layout lies in this build's record: the three
// leading pointers widen on 64-bit and move everything behind them.
size_t At(size_t offset32) {
    if (sizeof(void*) == 4) return offset32;
    return offset32 < 12 ? offset32 * 2 : offset32 + 12;
}

int IntAt(const ZipOptions& options, size_t offset32) {
    int value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&options) + At(offset32),
                sizeof value);
    return value;
}

Settings AllOff() {
    Settings settings;
    settings.bSystem = 0;
    settings.bTopMost = 0;
    return settings;
}

ZipOptions Filled(const Settings& settings) {
    ZipOptions options;
    std::memset(&options, 0, sizeof options);
    FillOptionFlags(options, settings);
    return options;
}

TEST(FillOptionFlags, EachSettingReachesItsOffsetOnly) {
    const struct {
        int Settings::*field;
        size_t offset;
    } cases[] = {
        {&Settings::bTemp, 12},        {&Settings::bEncrypt, 20},
        {&Settings::bSystem, 24},      {&Settings::bVolume, 28},
        {&Settings::bExtra, 32},       {&Settings::bNoDirEntries, 36},
        {&Settings::bExcludeDate, 40}, {&Settings::bIncludeDate, 44},
        {&Settings::bQuiet, 52},       {&Settings::bCRLF_LF, 56},
        {&Settings::bLF_CRLF, 60},     {&Settings::bJunkDir, 64},
        {&Settings::bForce, 72},       {&Settings::bLatestTime, 96},
        {&Settings::bComment, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset);
        Settings settings = AllOff();
        settings.*c.field = 1;
        const ZipOptions options = Filled(settings);
        for (size_t offset = 12; offset < 124; offset += 4) {
            const bool constant = offset == 48 || offset == 116;
            EXPECT_EQ(IntAt(options, offset), offset == c.offset || constant ? 1 : 0) << offset;
        }
    }
}

TEST(FillOptionFlags, ModeSetsAtMostOneModeField) {
    const struct {
        int mode;
        int move, update, freshen;
    } cases[] = {
        {0, 0, 0, 0}, {1, 1, 0, 0}, {2, 0, 1, 0}, {3, 0, 0, 1}, {-1, 0, 0, 0}, {7, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Settings settings = AllOff();
        settings.nMode = c.mode;
        const ZipOptions options = Filled(settings);
        EXPECT_EQ(IntAt(options, 76), c.move) << c.mode;
        EXPECT_EQ(IntAt(options, 84), c.update) << c.mode;
        EXPECT_EQ(IntAt(options, 88), c.freshen) << c.mode;
    }
}

TEST(FillOptionFlags, ConstantsAndLevelByte) {
    const struct {
        int level;
        unsigned char byte;
    } cases[] = {{6, '6'}, {0, '0'}, {9, '9'}, {10, ':'}, {-1, '/'}, {0x7fffffff, '/'}};
    for (const auto& c : cases) {
        Settings settings;  // the defaults
        settings.nLevel = c.level;
        const ZipOptions options = Filled(settings);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&options);
        EXPECT_EQ(bytes[At(124)], c.byte) << c.level;
        EXPECT_EQ(bytes[At(125)] | bytes[At(126)] | bytes[At(127)], 0);
        EXPECT_EQ(IntAt(options, 48), 1);
        EXPECT_EQ(IntAt(options, 116), 1);
        for (size_t reserved : {16, 68, 80, 92, 104, 108, 112, 120})
            EXPECT_EQ(IntAt(options, reserved), 0) << reserved;
    }
}

std::int64_t LocalTime(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

TEST(FormatDateText, MonthDayYearInLocalTime) {
    EXPECT_EQ(FormatDateText(LocalTime(2000, 12, 29, 0, 0)), "12292000");
    EXPECT_EQ(FormatDateText(LocalTime(2000, 12, 29, 23, 59)), "12292000");
    EXPECT_EQ(FormatDateText(LocalTime(2024, 1, 5, 12, 0)), "01052024");
}

// A heap that fails its n-th allocation and counts what is still allocated.
int g_failAt = -1;
int g_allocations = 0;
int g_live = 0;

void* CountingAllocate(std::size_t size) {
    if (g_allocations++ == g_failAt) return nullptr;
    ++g_live;
    return std::malloc(size);
}

void CountingRelease(void* block) {
    if (block != nullptr) --g_live;
    std::free(block);
}

RequestText SampleText() {
    RequestText text;
    text.date = "12292000";
    text.archive = "C:\\out\\a.zip";
    text.tempDir = "";
    text.drop.root = "C:\\work\\";
    text.drop.entries = {"a[-]b.txt", "docs", "c.txt"};
    return text;
}

TEST(RequestRecords, PointsTheRecordsAtCopies) {
    const RequestText text = SampleText();
    ZipOptions options{};
    RequestRecords records;
    ASSERT_TRUE(records.Build(text, options));
    EXPECT_STREQ(options.date, "12292000");
    EXPECT_STREQ(options.rootDir, "C:\\work\\");
    ASSERT_NE(options.tempDir, nullptr);
    EXPECT_STREQ(options.tempDir, "");
    const ZipFileList files = records.Files();
    ASSERT_EQ(files.count, 3);
    EXPECT_STREQ(files.archive, "C:\\out\\a.zip");
    for (int i = 0; i < files.count; ++i) {
        EXPECT_STREQ(files.names[i], text.drop.entries[i].c_str());
        EXPECT_NE(files.names[i], text.drop.entries[i].c_str());
    }
}

TEST(RequestRecords, AnyFailedAllocationFailsTheBuildAndLeaksNothing) {
    const RequestText text = SampleText();
    const HeapFunctions heap{&CountingAllocate, &CountingRelease};
    // 1 array + 3 entries + archive, date, root, work directory.
    for (g_failAt = 0; g_failAt < 8; ++g_failAt) {
        g_allocations = 0;
        ZipOptions options{};
        {
            RequestRecords records(heap);
            EXPECT_FALSE(records.Build(text, options)) << g_failAt;
            EXPECT_EQ(options.date, nullptr);
            EXPECT_EQ(options.rootDir, nullptr);
            EXPECT_EQ(options.tempDir, nullptr);
        }
        EXPECT_EQ(g_live, 0) << g_failAt;
    }
    g_failAt = -1;
    g_allocations = 0;
    {
        ZipOptions options{};
        RequestRecords records(heap);
        EXPECT_TRUE(records.Build(text, options));
        EXPECT_EQ(g_allocations, 8);
    }
    EXPECT_EQ(g_live, 0);
}

TEST(PrepareRequestText, ConvertsTheSettingsPaths) {
    Settings settings;
    settings.stFileName = L"C:\\書庫\\a.zip";
    settings.stTempDir = L"C:\\一時";
    settings.tDate = LocalTime(2000, 12, 29, 0, 0);
    RequestText text;
    ASSERT_FALSE(PrepareRequestText(settings, {L"C:\\w\\x.txt"}, text));
    EXPECT_EQ(text.archive, "C:\\\x8f\x91\x8c\xc9\\a.zip");
    EXPECT_EQ(text.tempDir, "C:\\\x88\xea\x8e\x9e");
    EXPECT_EQ(text.date, "12292000");
    EXPECT_EQ(text.drop.root, "C:\\w\\");
}

TEST(PrepareRequestText, NamesASettingsPathCodePage932Lacks) {
    Settings settings;
    settings.stFileName = L"C:\\caf\u00e9.zip";
    RequestText text;
    RequestProblem problem = PrepareRequestText(settings, {L"C:\\w\\x.txt"}, text);
    EXPECT_EQ(problem.kind, RequestProblem::NotCodePage932);
    EXPECT_EQ(problem.path, settings.stFileName);

    settings.stFileName = L"C:\\a.zip";
    settings.stTempDir = L"C:\\t\uD55C";
    problem = PrepareRequestText(settings, {L"C:\\w\\x.txt"}, text);
    EXPECT_EQ(problem.kind, RequestProblem::NotCodePage932);
    EXPECT_EQ(problem.path, settings.stTempDir);
}

}  // namespace
