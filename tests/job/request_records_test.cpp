#include "job/request_records.h"

#include "base/local_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

// Where a field of the 32-bit layout lies in this build's record: the three leading pointers widen on 64-bit.
size_t At(size_t offset32) {
    if (sizeof(void*) == 4) return offset32;
    return offset32 < 12 ? offset32 * 2 : offset32 + 12;
}

TEST(FillOptionFlags, EachSettingReachesItsFieldOnly) {
    using S = Settings;
    const struct {
        int Settings::*field;
        int value;
        size_t one;  // the field at 1 besides verbose (48) and recurse (116); 0: none
        unsigned char level = '6';
    } cases[] = {
        {&S::bTemp, 1, 12},        {&S::bEncrypt, 1, 20},       {&S::bSystem, 1, 24},       {&S::bVolume, 1, 28},
        {&S::bExtra, 1, 32},       {&S::bNoDirEntries, 1, 36},  {&S::bExcludeDate, 1, 40},  {&S::bIncludeDate, 1, 44},
        {&S::bQuiet, 1, 52},       {&S::bCRLF_LF, 1, 56},       {&S::bLF_CRLF, 1, 60},      {&S::bJunkDir, 1, 64},
        {&S::bForce, 1, 72},       {&S::bLatestTime, 1, 96},    {&S::bComment, 1, 100},     {&S::nMode, 0, 0},
        {&S::nMode, 1, 76},        {&S::nMode, 2, 84},          {&S::nMode, 3, 88},         {&S::nMode, -1, 0},
        {&S::nLevel, 0, 0, '0'},   {&S::nLevel, 9, 0, '9'},     {&S::nLevel, 10, 0, ':'},   {&S::nLevel, -1, 0, '/'},
    };
    for (const auto& c : cases) {
        Settings settings;  // the defaults, bTopMost on: it must reach no field
        settings.bSystem = 0;
        settings.*c.field = c.value;
        ZipOptions options;
        std::memset(&options, 0, sizeof options);
        FillOptionFlags(options, settings);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&options);
        SCOPED_TRACE(&c - cases);
        for (size_t offset = 12; offset < 124; offset += 4) {
            int field;
            std::memcpy(&field, bytes + At(offset), sizeof field);
            EXPECT_EQ(field, offset == c.one || offset == 48 || offset == 116 ? 1 : 0) << "offset " << offset;
        }
        EXPECT_EQ(bytes[At(124)], c.level);
        EXPECT_EQ(bytes[At(125)] | bytes[At(126)] | bytes[At(127)], 0);
    }
}

TEST(PrepareRequestText, ConvertsTheSettingsOrNamesThePathNoArchiveCanRecord) {
    Settings settings;
    settings.stFileName = L"C:\\書庫\\a.zip";
    settings.stTempDir = L"C:\\一時";
    settings.tDate = *MakeLocalTime({2024, 1, 5});  // local midnight
    RequestText text;
    auto prepare = [&] { return PrepareRequestText(settings, {L"C:\\w\\x.txt"}, text); };
    ASSERT_FALSE(prepare());
    EXPECT_EQ(text.archive, "C:\\\x8f\x91\x8c\xc9\\a.zip");
    EXPECT_EQ(text.tempDir, "C:\\\x88\xea\x8e\x9e");
    EXPECT_EQ(text.date, "01052024");  // "%m%d%Y" in local time
    EXPECT_EQ(text.drop.root, "C:\\w\\");
    // A string code page 932 cannot write goes as the mark and UTF-8.
    settings.stFileName = L"C:\\out\u2212\\a.zip";
    settings.stTempDir = L"C:\\work\u301C";
    ASSERT_FALSE(prepare());
    EXPECT_EQ(text.archive, "\xEF\xBB\xBF" "C:\\out\xE2\x88\x92\\a.zip");
    EXPECT_EQ(text.tempDir, "\xEF\xBB\xBF" "C:\\work\xE3\x80\x9C");
    EXPECT_EQ(text.drop.root, "C:\\w\\");
    settings.stTempDir = std::wstring(L"C:\\t") + static_cast<wchar_t>(0xD800);  // counts only while used
    EXPECT_FALSE(prepare());
    EXPECT_EQ(text.tempDir, "");
    settings.bTemp = 1;
    EXPECT_EQ(prepare().path, settings.stTempDir);
    settings.stFileName = std::wstring(L"C:\\a.zip") + static_cast<wchar_t>(0xDFFF);  // the archive is named first
    const RequestProblem problem = prepare();
    EXPECT_EQ(problem.kind, RequestProblem::NotUnicode);
    EXPECT_EQ(problem.path, settings.stFileName);
}

// A heap that fails its n-th allocation and counts the blocks still allocated.
int g_failAt = -1, g_allocations = 0, g_live = 0;

TEST(RequestRecords, CopiesEveryTextOrFailsWholeAndLeaksNothing) {
    const HeapFunctions heap{[](std::size_t size) -> void* {
                                 if (g_allocations++ == g_failAt) return nullptr;
                                 ++g_live;
                                 return std::malloc(size);
                             },
                             [](void* block) {
                                 if (block != nullptr) --g_live;
                                 std::free(block);
                             }};
    const RequestText text{"12292000", "C:\\out\\a.zip", "", {"C:\\work\\", {"a[-]b.txt", "docs", "c.txt"}}};
    // Eight allocations (the array, three entries, archive, date, root, work directory) fail in turn, then none.
    for (g_failAt = 0; g_failAt <= 8; ++g_failAt) {
        SCOPED_TRACE(g_failAt);
        g_allocations = 0;
        ZipOptions options{};
        {
            RequestRecords records(heap);
            ASSERT_EQ(records.Build(text, options), g_failAt == 8);
            if (g_failAt < 8) {
                EXPECT_TRUE(!options.date && !options.rootDir && !options.tempDir);
            } else {
                EXPECT_STREQ(options.date, "12292000");
                EXPECT_STREQ(options.rootDir, "C:\\work\\");
                EXPECT_STREQ(options.tempDir, "");
                const ZipFileList files = records.Files();
                ASSERT_EQ(files.count, 3);
                EXPECT_STREQ(files.archive, "C:\\out\\a.zip");
                for (int i = 0; i < files.count; ++i) EXPECT_STREQ(files.names[i], text.drop.entries[i].c_str());
            }
        }
        EXPECT_EQ(g_live, 0);
    }
}

}  // namespace
