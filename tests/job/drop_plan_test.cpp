#include "job/drop_plan.h"

#include <gtest/gtest.h>

#include "job/codepage932.h"

namespace {

TEST(EscapeEntryName, EscapesOpeningBracketThenHyphen) {
    const struct {
        const wchar_t* name;
        const wchar_t* escaped;
    } cases[] = {
        {L"plain.txt", L"plain.txt"},
        {L"a-b[1].txt", L"a[-]b[[]1].txt"},
        {L"x-[y]", L"x[-][[]y]"},
        {L"]", L"]"},
        {L"[[--", L"[[][[][-][-]"},
        {L"*?", L"*?"},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeEntryName(c.name), c.escaped) << c.name;
}

struct PlanCase {
    const char* what;
    std::vector<std::wstring> paths;
    std::wstring root;
    std::vector<std::wstring> entries;
};

std::vector<std::wstring> Wide(const std::vector<std::string>& bytes) {
    std::vector<std::wstring> wide;
    for (const std::string& b : bytes) wide.push_back(FromCodePage932(b));
    return wide;
}

TEST(PlanDrop, RootIsTheDeepestCommonFolder) {
    const PlanCase cases[] = {
        {"file and folder from one folder",
         {L"C:\\work\\a-b[1].txt", L"C:\\work\\docs"},
         L"C:\\work\\",
         {L"a[-]b[[]1].txt", L"docs"}},
        {"one file", {L"C:\\work\\docs\\a.txt"}, L"C:\\work\\docs\\", {L"a.txt"}},
        {"search results from two folders",
         {L"C:\\work\\one\\a.txt", L"C:\\work\\two-x\\sub\\b.txt"},
         L"C:\\work\\",
         {L"one\\a.txt", L"two[-]x\\sub\\b.txt"}},
        {"one item in the other's subfolder",
         {L"C:\\w\\x\\deep\\c.txt", L"C:\\w\\x\\b.txt"},
         L"C:\\w\\x\\",
         {L"deep\\c.txt", L"b.txt"}},
        {"folders differing only in case",
         {L"C:\\Work\\a.txt", L"c:\\WORK\\b.txt"},
         L"C:\\Work\\",
         {L"a.txt", L"b.txt"}},
        {"nothing shared below the drive",
         {L"C:\\a\\x.txt", L"C:\\b\\y.txt"},
         L"C:\\",
         {L"a\\x.txt", L"b\\y.txt"}},
        {"a folder at the drive's top", {L"D:\\photos"}, L"D:\\", {L"photos"}},
        {"a folder given with its trailing separator", {L"C:\\work\\docs\\"}, L"C:\\work\\",
         {L"docs"}},
        {"a network share",
         {L"\\\\server\\share\\dir\\a.txt", L"\\\\server\\share\\dir\\b"},
         L"\\\\server\\share\\dir\\",
         {L"a.txt", L"b"}},
        {"a name that is only its common prefix's start",
         {L"C:\\ab\\x", L"C:\\abc\\y"},
         L"C:\\",
         {L"ab\\x", L"abc\\y"}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.what);
        DropPlan plan;
        ASSERT_FALSE(PlanDrop(c.paths, plan));
        EXPECT_EQ(FromCodePage932(plan.root), c.root);
        EXPECT_EQ(Wide(plan.entries), c.entries);
    }
}

TEST(PlanDrop, JapaneseNamesAreEscapedByCharacterNotByByte) {
    // "ー" is 81 5B and "表" is 95 5C in code page 932: neither trail byte may
    // be taken for "[" or a separator.
    DropPlan plan;
    ASSERT_FALSE(PlanDrop({L"C:\\表\\データ-[1].txt", L"C:\\表\\ソース"}, plan));
    EXPECT_EQ(plan.root, "C:\\\x95\x5c\\");
    ASSERT_EQ(plan.entries.size(), 2u);
    EXPECT_EQ(plan.entries[0], "\x83\x66\x81\x5b\x83\x5e[-][[]1].txt");
    EXPECT_EQ(plan.entries[1], "\x83\x5c\x81\x5b\x83\x58");
}

TEST(PlanDrop, RefusesAndNamesThePath) {
    const std::wstring longName(256, L'n');
    const std::wstring longKanji(128, L'字');  // 256 bytes in code page 932
    const struct {
        const char* what;
        std::vector<std::wstring> paths;
        RequestProblem::Kind kind;
        size_t named;  // index of the path the problem names
    } cases[] = {
        {"accented letter", {L"C:\\w\\a.txt", L"C:\\w\\caf\u00e9.txt"},
         RequestProblem::NotCodePage932, 1},
        {"wave dash look-alike", {L"C:\\w\\\u301C"}, RequestProblem::NotCodePage932, 0},
        {"folder on another drive", {L"C:\\w\\a.txt", L"D:\\w\\b.txt"},
         RequestProblem::NoCommonFolder, 1},
        {"share and drive", {L"\\\\s\\share\\a", L"C:\\a"}, RequestProblem::NoCommonFolder, 1},
        {"a drive itself", {L"E:\\"}, RequestProblem::NoCommonFolder, 0},
        {"base name over 255 bytes", {L"C:\\w\\ok.txt", L"C:\\w\\" + longName + L".txt"},
         RequestProblem::PartTooLong, 1},
        {"Japanese base name over 255 bytes", {L"C:\\w\\" + longKanji},
         RequestProblem::PartTooLong, 0},
        {"extension over 255 bytes", {L"C:\\w\\a." + longName}, RequestProblem::PartTooLong, 0},
        {"directory over 255 bytes", {L"C:\\" + longName.substr(0, 254) + L"\\a.txt"},
         RequestProblem::PartTooLong, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DropPlan plan;
        const RequestProblem problem = PlanDrop(c.paths, plan);
        EXPECT_EQ(problem.kind, c.kind);
        EXPECT_EQ(problem.path, c.paths[c.named]);
        EXPECT_TRUE(plan.entries.empty());
    }
}

TEST(PlanDrop, PartsOfExactly255BytesPass) {
    const std::wstring name(251, L'n');
    const std::wstring directory = L"\\" + std::wstring(253, L'd') + L"\\";  // 255 bytes
    DropPlan plan;
    ASSERT_FALSE(PlanDrop({L"C:" + directory + name + L".txt", L"C:" + directory + L"x." +
                           std::wstring(254, L'e')},
                          plan));
    EXPECT_EQ(plan.entries[0].size(), 255u);
}

}  // namespace
