// The drop as the engine receives it: the root and the escaped names below it, or the path no request can name.
#include "job/drop_plan.h"

#include <gtest/gtest.h>

namespace {

TEST(PlanDrop, RootIsTheDeepestCommonFolderOrTheLastPathIsRefused) {
    // 255 bytes each: the directory with its separators, the base name, the extension with its dot.
    const std::string dir(253, 'd'), base(255, 'n'), ext(254, 'e');
    auto wide = [](const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); };
    std::string waves;  // 85 wave dashes in UTF-8
    for (int i = 0; i < 85; ++i) waves += "\xE3\x80\x9C";
    const std::wstring longName(256, L'n');
    const struct {
        const char* what;
        std::vector<std::wstring> paths;
        std::string root;
        std::vector<std::string> entries;  // escaped
        RequestProblem::Kind refused = RequestProblem::None;
    } cases[] = {
        {"file and folder from one folder", {L"C:\\work\\a-b[1].txt", L"C:\\work\\docs"}, "C:\\work\\",
         {"a[-]b[[]1].txt", "docs"}},
        {"one item in the other's subfolder", {L"C:\\w\\x\\deep\\c.txt", L"C:\\w\\x\\b.txt"}, "C:\\w\\x\\",
         {"deep\\c.txt", "b.txt"}},
        {"a folder and an item inside it", {L"C:\\w\\x\\deep\\c.txt", L"C:\\w\\x"}, "C:\\w\\", {"x\\deep\\c.txt", "x"}},
        {"folders differing only in case", {L"C:\\Work\\a.txt", L"c:\\WORK\\b.txt"}, "C:\\Work\\",
         {"a.txt", "b.txt"}},
        {"folders differing only in full-width case", {L"C:\\資料Ａ\\a.txt", L"C:\\資料ａ\\b.txt"},
         "C:\\\x8e\x91\x97\xbf\x82\x60\\", {"a.txt", "b.txt"}},
        {"nothing shared below the drive", {L"C:\\a\\x.txt", L"C:\\b\\y.txt"}, "C:\\", {"a\\x.txt", "b\\y.txt"}},
        {"a folder at the drive's top", {L"D:\\photos"}, "D:\\", {"photos"}},
        {"a folder with its trailing separator", {L"C:\\work\\docs\\"}, "C:\\work\\", {"docs"}},
        {"a network share", {L"\\\\server\\share\\dir\\a.txt", L"\\\\server\\share\\dir\\b"},
         "\\\\server\\share\\dir\\", {"a.txt", "b"}},
        {"a name that is only its common prefix's start", {L"C:\\ab\\x", L"C:\\abc\\y"}, "C:\\",
         {"ab\\x", "abc\\y"}},
        // "ー" is 81 5B and "表" is 95 5C: neither trail byte is a "[" or a separator.
        {"Japanese names, escaped by character", {L"C:\\表\\データ-[1].txt", L"C:\\表\\ソース"},
         "C:\\\x95\x5c\\", {"\x83\x66\x81\x5b\x83\x5e[-][[]1].txt", "\x83\x5c\x81\x5b\x83\x58"}},
        {"parts of exactly 255 bytes", {wide("C:\\" + dir + "\\" + base + ".txt"), wide("C:\\" + dir + "\\x." + ext)},
         "C:\\" + dir + "\\", {base + ".txt", "x." + ext}},
        {"names code page 932 lacks, escaped as ever", {L"C:\\w\\a.txt", L"C:\\w\\f-[\u00e9].txt", L"C:\\w\\\U0001F600"},
         "C:\\w\\", {"a.txt", "\xEF\xBB\xBF" "f[-][[]\xC3\xA9].txt", "\xEF\xBB\xBF\xF0\x9F\x98\x80"}},
        {"half-width letters and 932's own tilde", {L"C:\\w\\ｷｬﾝｾﾙ\uFF5E"}, "C:\\w\\", {"\xb7\xac\xdd\xbe\xd9\x81\x60"}},
        {"a root code page 932 lacks", {L"C:\\\u301C\\\u8868.txt"}, "\xEF\xBB\xBF" "C:\\\xE3\x80\x9C\\", {"\x95\x5c.txt"}},
        {"85 wave dashes: 255 bytes of UTF-8", {L"C:\\w\\" + std::wstring(85, L'\u301C')}, "C:\\w\\",
         {"\xEF\xBB\xBF" + waves}},
        {"86 wave dashes", {L"C:\\w\\" + std::wstring(86, L'\u301C')}, "", {}, RequestProblem::PartTooLong},
        {"a lone surrogate", {L"C:\\w\\a.txt", std::wstring(L"C:\\w\\") + static_cast<wchar_t>(0xDC00)}, "", {},
         RequestProblem::NotUnicode},
        {"folder on another drive", {L"C:\\w\\a.txt", L"D:\\w\\b.txt"}, "", {}, RequestProblem::NoCommonFolder},
        {"a drive itself", {L"E:\\"}, "", {}, RequestProblem::WholeDrive},
        {"a network share itself", {L"\\\\server\\share"}, "", {}, RequestProblem::WholeDrive},
        {"Japanese base name over 255 bytes", {L"C:\\w\\ok.txt", L"C:\\w\\" + std::wstring(128, L'字')}, "", {},
         RequestProblem::PartTooLong},
        {"extension over 255 bytes", {L"C:\\w\\a." + longName}, "", {}, RequestProblem::PartTooLong},
        {"directory over 255 bytes", {L"C:\\" + longName.substr(0, 254) + L"\\a.txt"}, "", {},
         RequestProblem::PartTooLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DropPlan plan;
        const RequestProblem problem = PlanDrop(c.paths, plan);
        EXPECT_EQ(problem.kind, c.refused);
        EXPECT_EQ(problem.path, c.refused ? c.paths.back() : L"");
        EXPECT_EQ(plan.root, c.root);
        EXPECT_EQ(plan.entries, c.entries);
    }
}

}  // namespace
