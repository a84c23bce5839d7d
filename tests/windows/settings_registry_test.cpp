// The 23 settings in the registry: names, types, and what unusual stored
// values become.
#include "app/local_date.h"
#include "app/registry_profile.h"

#include "gui_harness.h"

#include <gtest/gtest.h>

namespace {

class SettingsRegistryTest : public testing::Test {
protected:
    class TestApp : public CAppBase {
    public:
        using CAppBase::CAppBase;
        bool InitInstance() override { return false; }
    };

    gui::TestProfile key;
    TestApp app{key.AppName().c_str()};
    RegistryProfile profile{app};
    void SetUp() override { app.SetRegistryKey(L"Dremmil"); }

    DWORD TypeOf(const std::wstring& name) const {
        DWORD type = REG_NONE;
        RegGetValueW(HKEY_CURRENT_USER, key.Path().c_str(), name.c_str(), RRF_RT_ANY, &type, nullptr, nullptr);
        return type;
    }
};

TEST_F(SettingsRegistryTest, SavesAll23ValuesWithTheirTypesDirectlyInTheKey) {
    Settings settings;
    settings.tDate = *MakeLocalTime({2012, 7, 8, 9, 10, 11});
    settings.stTempDir = L"D:\\作業";
    settings.nMode = -1;
    settings.nLevel = 42;
    settings.stFileName = L"C:\\書庫\\a.zip";
    SaveSettings(profile, settings);

    const wchar_t* ints[] = {L"Year", L"Month", L"Day", L"bTemp", L"bSystem", L"bVolume", L"bExtra",
                             L"bNoDirEntries", L"bExcludeDate", L"bIncludeDate", L"bQuiet", L"bCRLF_LF",
                             L"bLF_CRLF", L"bLatestTime", L"nLevel", L"bEncrypt", L"bJunkDir", L"bForce",
                             L"bComment", L"nMode", L"bTopMost"};
    for (const wchar_t* name : ints) EXPECT_EQ(TypeOf(name), static_cast<DWORD>(REG_DWORD)) << gui::Utf8(name);
    EXPECT_EQ(TypeOf(L"stTempDir"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(TypeOf(L"stFileName"), static_cast<DWORD>(REG_SZ));

    HKEY handle = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.Path().c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
    DWORD subkeys = 1;
    DWORD values = 0;
    RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(handle);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 23u);

    EXPECT_EQ(key.ReadDword(L"Year"), 2012u);
    EXPECT_EQ(key.ReadDword(L"Month"), 7u);
    EXPECT_EQ(key.ReadDword(L"Day"), 8u);
    EXPECT_EQ(key.ReadDword(L"nMode"), 0xFFFFFFFFu);
    EXPECT_EQ(key.ReadDword(L"nLevel"), 42u);

    Settings loaded;
    LoadSettings(profile, loaded);
    EXPECT_EQ(loaded.tDate, *MakeLocalTime({2012, 7, 8}));
    EXPECT_EQ(loaded.stTempDir, L"D:\\作業");
    EXPECT_EQ(loaded.nMode, -1);
    EXPECT_EQ(loaded.nLevel, 42);
    EXPECT_EQ(loaded.stFileName, L"C:\\書庫\\a.zip");
}

TEST_F(SettingsRegistryTest, UnusualStoredValuesBecomeSensibleOnes) {
    key.WriteDword(L"Year", 2001);
    key.WriteDword(L"Month", 2);
    key.WriteDword(L"Day", 31);                           // no such day
    key.WriteString(L"nLevel", L"9");                     // a string where an int belongs
    key.WriteDword(L"stFileName", 1);                     // an int where a string belongs
    key.WriteString(L"stTempDir", std::wstring(100000, L'a'));   // absurdly long
    key.WriteDword(L"bTopMost", 0);
    Settings settings;
    LoadSettings(profile, settings);
    EXPECT_EQ(settings.tDate, *MakeLocalTime({2000, 12, 29}));
    EXPECT_EQ(settings.nLevel, 6);
    EXPECT_EQ(settings.stFileName, L"");
    EXPECT_EQ(settings.stTempDir, L"");
    EXPECT_EQ(settings.bTopMost, 0);

    // Saving replaces them with values of the right type.
    SaveSettings(profile, settings);
    EXPECT_EQ(key.ReadDword(L"Month"), 12u);
    EXPECT_EQ(key.ReadDword(L"Day"), 29u);
    EXPECT_EQ(TypeOf(L"nLevel"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(TypeOf(L"stFileName"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(key.ReadString(L"stTempDir"), L"");
}

}  // namespace
