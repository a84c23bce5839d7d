// The application object's profile operations and the 23 settings on the
// real registry.
#include "base/local_date.h"
#include "framework/app.h"
#include "app/registry_profile.h"

#include "gui_harness.h"
#include "settings_fields.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

class TestApp : public CAppBase {
public:
    using CAppBase::CAppBase;
    bool InitInstance() override { return false; }
};

// An application object whose name is the test's, with the company key set.
class ProfileTest : public testing::Test {
protected:
    gui::TestProfile key;   // HKCU\Software\Dremmil\<test name>, empty
    TestApp app{key.AppName().c_str()};
    void SetUp() override { app.SetRegistryKey(L"Dremmil"); }

    DWORD TypeOf(const std::wstring& name) const {
        DWORD type = REG_NONE;
        RegGetValueW(HKEY_CURRENT_USER, key.Path().c_str(), name.c_str(), RRF_RT_ANY, &type, nullptr, nullptr);
        return type;
    }
};

TEST_F(ProfileTest, ReadingCreatesNothingWritingCreatesTheKeyEmptySectionIsTheAppKey) {
    EXPECT_EQ(app.ReadProfileInt(L"", L"nLevel", 6), 6);
    EXPECT_EQ(app.ReadProfileString(L"", L"stFileName", L"def"), L"def");
    EXPECT_FALSE(key.Exists());
    ASSERT_TRUE(app.SaveProfileInt(L"", L"nMode", 3));
    ASSERT_TRUE(app.SaveProfileInt(L"Sub", L"nMode", 1));
    EXPECT_EQ(key.ReadDword(L"nMode"), 3u);
    EXPECT_EQ(gui::RegistryKey(key.Path() + L"\\Sub").ReadDword(L"nMode"), 1u);
    for (int value : {0, -1, 2147483647, -2147483647 - 1}) {
        ASSERT_TRUE(app.SaveProfileInt(L"", L"n", value));
        EXPECT_EQ(app.ReadProfileInt(L"", L"n", 12345), value);
    }
    for (const wchar_t* value : {L"", L" ", L"D:\\作業\\ｱｲｳ", L"\\\\server\\share\\x.zip"}) {
        ASSERT_TRUE(app.SaveProfileString(L"", L"st", value));
        EXPECT_EQ(app.ReadProfileString(L"", L"st", L"default"), value);
    }
}

// Values the program did not write: each read as an int (default -7) and
// as a string (default "def"). A string ends at its first terminator or at
// its end; a value of another type or size gives the default.
TEST_F(ProfileTest, ValuesOfOtherTypesAndShapesGiveTheDefault) {
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> data;
        int asInt;
        std::wstring asString;
    };
    auto bytes = [](const void* data, std::size_t size) {
        return std::vector<BYTE>(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    };
    const unsigned long long qword = 5;
    const Case cases[] = {
        {L"dword", REG_DWORD, {5, 0, 0, 0}, 5, L"def"},
        {L"short dword", REG_DWORD, {1, 0}, -7, L"def"},
        {L"empty dword", REG_DWORD, {}, -7, L"def"},
        {L"big-endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 5}, -7, L"def"},
        {L"qword", REG_QWORD, bytes(&qword, sizeof(qword)), -7, L"def"},
        {L"binary", REG_BINARY, {5, 0, 0, 0}, -7, L"def"},
        {L"sz", REG_SZ, bytes(L"5", 4), -7, L"5"},
        {L"multi", REG_MULTI_SZ, bytes(L"a\0b\0", 10), -7, L"def"},
        {L"embedded", REG_SZ, bytes(L"C:\\a.zip\0junk", 28), -7, L"C:\\a.zip"},
        {L"unterminated", REG_SZ, bytes(L"abc", 6), -7, L"abc"},
        {L"empty sz", REG_SZ, {}, -7, L""},
        {L"half a character", REG_SZ, {'a', 0, 'b'}, -7, L"a"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(key.WriteRaw(c.name, c.type, c.data.data(), static_cast<DWORD>(c.data.size())));
        EXPECT_EQ(app.ReadProfileInt(L"", c.name, -7), c.asInt) << gui::Utf8(c.name);
        EXPECT_EQ(app.ReadProfileString(L"", c.name, L"def"), c.asString) << gui::Utf8(c.name);
    }
    // A string with environment variables is a string too, read expanded.
    const wchar_t expandable[] = L"%TEMP%";
    key.WriteRaw(L"expand", REG_EXPAND_SZ, expandable, sizeof(expandable));
    EXPECT_EQ(app.ReadProfileInt(L"", L"expand", -7), -7);
    std::wstring expanded = app.ReadProfileString(L"", L"expand", L"def");
    EXPECT_TRUE(expanded != L"def" && expanded.find(L'%') == std::wstring::npos) << gui::Utf8(expanded);
}

TEST_F(ProfileTest, AbsurdlyLongStringGivesTheDefaultQuicklyAndIsNotWritten) {
    std::wstring longest(CAppBase::kMaxProfileString, L'x');
    ASSERT_TRUE(key.WriteString(L"longest", longest));
    ASSERT_TRUE(key.WriteString(L"tooLong", longest + L"y"));
    ASSERT_TRUE(key.WriteString(L"huge", std::wstring(4 * 1024 * 1024, L'z')));
    EXPECT_EQ(app.ReadProfileString(L"", L"longest", L"def"), longest);
    EXPECT_EQ(app.ReadProfileString(L"", L"tooLong", L"def"), L"def");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app.ReadProfileString(L"", L"huge", L"def"), L"def");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(app.SaveProfileString(L"", L"written", longest + L"y"));
    EXPECT_FALSE(key.ReadString(L"written"));
}

// Every field unlike its default and unlike every other, so that a value read
// under another's name shows; values no control could show (a level of 42, a
// mode of -1, a flag of 5) are kept as they are.
TEST_F(ProfileTest, All23ValuesWithTheirTypesDirectlyInTheKeyAndBackAsStored) {
    Settings settings{*MakeLocalTime({2012, 7, 8, 9, 10, 11}), L"D:\\作業", 1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 42,
                      11, 12, 5, 13, -1, L"C:\\書庫\\a.zip", 0};
    RegistryProfile profile{app};
    SaveSettings(profile, settings);
    HKEY handle = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.Path().c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
    DWORD subkeys = 1, values = 0;
    RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(handle);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 23u);
    for (const wchar_t* name : {L"Year", L"Month", L"Day", L"bTemp", L"bSystem", L"bVolume", L"bExtra",
                                L"bNoDirEntries", L"bExcludeDate", L"bIncludeDate", L"bQuiet", L"bCRLF_LF",
                                L"bLF_CRLF", L"bLatestTime", L"nLevel", L"bEncrypt", L"bJunkDir", L"bForce",
                                L"bComment", L"nMode", L"bTopMost"}) {
        EXPECT_EQ(TypeOf(name), static_cast<DWORD>(REG_DWORD)) << gui::Utf8(name);
    }
    EXPECT_EQ(TypeOf(L"stTempDir"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(TypeOf(L"stFileName"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(key.ReadDword(L"Day"), 8u);
    EXPECT_EQ(key.ReadDword(L"nMode"), 0xFFFFFFFFu);

    Settings loaded;
    LoadSettings(profile, loaded);
    settings.tDate = *MakeLocalTime({2012, 7, 8});   // the day is kept, not its time
    EXPECT_EQ(Fields(loaded), Fields(settings));
}

}  // namespace
