// The 23 settings in the real registry: names, types, values taken as
// stored. Values of the wrong type or length fall back to the default in
// the profile (registry_profile_test.cpp), dates that name no day in the
// settings store (tests/native).
#include "base/local_date.h"
#include "app/registry_profile.h"

#include "gui_harness.h"
#include "settings_fields.h"

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

// Every field unlike its default and unlike every other, so that a value read
// under another's name shows; values no control could show (a level of 42, a
// mode of -1, a flag of 5) are kept as they are.
TEST_F(SettingsRegistryTest, All23ValuesWithTheirTypesDirectlyInTheKeyAndBackAsStored) {
    Settings settings{*MakeLocalTime({2012, 7, 8, 9, 10, 11}), L"D:\\作業", 1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 42,
                      11, 12, 5, 13, -1, L"C:\\書庫\\a.zip", 0};
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
