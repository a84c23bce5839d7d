// The application object's profile operations on the real registry.
#include "framework/app.h"

#include "gui_harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

// An application object whose name is the test's, with the company key set.
class ProfileTest : public testing::Test {
protected:
    class TestApp : public CAppBase {
    public:
        using CAppBase::CAppBase;
        bool InitInstance() override { return false; }
    };

    gui::TestProfile key;   // HKCU\Software\Dremmil\<test name>, empty
    TestApp app{key.AppName().c_str()};
    void SetUp() override { app.SetRegistryKey(L"Dremmil"); }
};

TEST(AppName, IsTheProgramFilesBaseName) {
    class Unnamed : public CAppBase {
        bool InitInstance() override { return false; }
    } app;
    EXPECT_EQ(app.AppName(), L"registry_tests");
    app.SetRegistryKey(L"Dremmil");
    EXPECT_EQ(app.ProfileKeyPath(L""), L"Software\\Dremmil\\registry_tests");
    EXPECT_EQ(app.ProfileKeyPath(L"Sub"), L"Software\\Dremmil\\registry_tests\\Sub");
}

TEST_F(ProfileTest, MissingKeyGivesDefaultsAndIsNotCreatedByReading) {
    EXPECT_EQ(app.ReadProfileInt(L"", L"nLevel", 6), 6);
    EXPECT_EQ(app.ReadProfileString(L"", L"stFileName", L"def"), L"def");
    EXPECT_FALSE(key.Exists());
}

TEST_F(ProfileTest, WritesCreateTheKeyAndEmptySectionMeansTheAppKeyItself) {
    ASSERT_TRUE(app.SaveProfileInt(L"", L"nMode", 3));
    ASSERT_TRUE(app.SaveProfileString(L"", L"stFileName", L"C:\\書庫\\a.zip"));
    EXPECT_EQ(key.ReadDword(L"nMode"), 3u);
    EXPECT_EQ(key.ReadString(L"stFileName"), L"C:\\書庫\\a.zip");
    ASSERT_TRUE(app.SaveProfileInt(L"Sub", L"nMode", 1));
    EXPECT_EQ(gui::RegistryKey(key.Path() + L"\\Sub").ReadDword(L"nMode"), 1u);
    EXPECT_EQ(key.ReadDword(L"nMode"), 3u);
}

TEST_F(ProfileTest, IntsAndStringsRoundTrip) {
    for (int value : {0, 1, -1, 7, 2147483647, -2147483647 - 1}) {
        ASSERT_TRUE(app.SaveProfileInt(L"", L"n", value));
        EXPECT_EQ(app.ReadProfileInt(L"", L"n", 12345), value);
    }
    for (const std::wstring& value : {std::wstring(), std::wstring(L" "), std::wstring(L"D:\\作業\\ｱｲｳ"),
                                      std::wstring(L"\\\\server\\share\\x.zip")}) {
        ASSERT_TRUE(app.SaveProfileString(L"", L"st", value));
        EXPECT_EQ(app.ReadProfileString(L"", L"st", L"default"), value);
    }
}

TEST_F(ProfileTest, ValueOfTheWrongTypeGivesTheDefault) {
    const DWORD dword = 5;
    const unsigned long long qword = 5;
    const wchar_t text[] = L"5";
    const wchar_t expandable[] = L"%TEMP%";
    const BYTE bytes[4] = {5, 0, 0, 0};
    key.WriteRaw(L"sz", REG_SZ, text, sizeof(text));
    key.WriteRaw(L"expand", REG_EXPAND_SZ, expandable, sizeof(expandable));
    key.WriteRaw(L"multi", REG_MULTI_SZ, L"a\0b\0", 5 * sizeof(wchar_t));
    key.WriteRaw(L"binary", REG_BINARY, bytes, sizeof(bytes));
    key.WriteRaw(L"qword", REG_QWORD, &qword, sizeof(qword));
    key.WriteRaw(L"dword", REG_DWORD, &dword, sizeof(dword));
    key.WriteRaw(L"bigendian", REG_DWORD_BIG_ENDIAN, &dword, sizeof(dword));
    for (const wchar_t* name : {L"sz", L"expand", L"multi", L"binary", L"qword", L"bigendian"}) {
        EXPECT_EQ(app.ReadProfileInt(L"", name, -7), -7) << gui::Utf8(name);
    }
    for (const wchar_t* name : {L"dword", L"multi", L"binary", L"qword"}) {
        EXPECT_EQ(app.ReadProfileString(L"", name, L"def"), L"def") << gui::Utf8(name);
    }
    // A string with environment variables is a string too, read expanded.
    std::wstring expanded = app.ReadProfileString(L"", L"expand", L"def");
    EXPECT_NE(expanded, L"def");
    EXPECT_EQ(expanded.find(L'%'), std::wstring::npos) << gui::Utf8(expanded);
}

TEST_F(ProfileTest, DwordOfTheWrongSizeGivesTheDefault) {
    const BYTE shortData[2] = {1, 0};
    key.WriteRaw(L"short", REG_DWORD, shortData, sizeof(shortData));
    key.WriteRaw(L"empty", REG_DWORD, nullptr, 0);
    EXPECT_EQ(app.ReadProfileInt(L"", L"short", 6), 6);
    EXPECT_EQ(app.ReadProfileInt(L"", L"empty", 6), 6);
}

TEST_F(ProfileTest, StringsEndAtTheirFirstTerminatorOrTheirEnd) {
    const wchar_t embedded[] = L"C:\\a.zip\0junk";
    key.WriteRaw(L"embedded", REG_SZ, embedded, sizeof(embedded));
    EXPECT_EQ(app.ReadProfileString(L"", L"embedded", L""), L"C:\\a.zip");
    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    key.WriteRaw(L"unterminated", REG_SZ, unterminated, sizeof(unterminated));
    EXPECT_EQ(app.ReadProfileString(L"", L"unterminated", L""), L"abc");
    const BYTE odd[3] = {'a', 0, 'b'};
    key.WriteRaw(L"odd", REG_SZ, odd, sizeof(odd));
    std::wstring value = app.ReadProfileString(L"", L"odd", L"def");
    EXPECT_TRUE(value == L"a" || value == L"def") << gui::Utf8(value);
    key.WriteRaw(L"nothing", REG_SZ, nullptr, 0);
    EXPECT_EQ(app.ReadProfileString(L"", L"nothing", L"def"), L"");
}

TEST_F(ProfileTest, AbsurdlyLongStringGivesTheDefaultQuickly) {
    std::wstring longest(CAppBase::kMaxProfileString, L'x');
    ASSERT_TRUE(key.WriteString(L"longest", longest));
    EXPECT_EQ(app.ReadProfileString(L"", L"longest", L"def"), longest);

    ASSERT_TRUE(key.WriteString(L"tooLong", longest + L"y"));
    EXPECT_EQ(app.ReadProfileString(L"", L"tooLong", L"def"), L"def");

    std::wstring huge(4 * 1024 * 1024, L'z');
    ASSERT_TRUE(key.WriteString(L"huge", huge));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app.ReadProfileString(L"", L"huge", L"def"), L"def");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    EXPECT_FALSE(app.SaveProfileString(L"", L"written", longest + L"y"));
    EXPECT_FALSE(key.ReadString(L"written"));
}

TEST(ProfileWithoutCompanyKey, ReadsDefaultsAndWritesNothing) {
    class NoKey : public CAppBase {
    public:
        NoKey() : CAppBase(L"TirvoTest_NoCompany") {}
        bool InitInstance() override { return false; }
    } app;
    EXPECT_EQ(app.ReadProfileInt(L"", L"n", 4), 4);
    EXPECT_FALSE(app.SaveProfileInt(L"", L"n", 1));
    EXPECT_FALSE(app.SaveProfileString(L"", L"s", L"x"));
    EXPECT_EQ(app.ProfileKeyPath(L""), L"");
}

}  // namespace
