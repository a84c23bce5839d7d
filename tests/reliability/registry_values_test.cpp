// Under Wine: the program started as it starts (settings loaded from the
// registry, main window run, settings saved) over a registry whose 23 values
// hold wrong types, negative and extreme numbers and huge strings, all at
// once. It must start, show its window, end, and leave every value with its
// own type and a date that exists. Every other type and shape of value is
// read as the default (tests/windows/registry_profile_test.cpp).
#include "gui_harness.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace {

const wchar_t* const kIntValues[] = {L"Year", L"Month", L"Day", L"bTemp", L"bSystem", L"bVolume", L"bExtra",
                                     L"bNoDirEntries", L"bExcludeDate", L"bIncludeDate", L"bQuiet", L"bCRLF_LF",
                                     L"bLF_CRLF", L"bLatestTime", L"nLevel", L"bEncrypt", L"bJunkDir", L"bForce",
                                     L"bComment", L"nMode", L"bTopMost"};
const wchar_t* const kStringValues[] = {L"stTempDir", L"stFileName"};

struct Raw {
    DWORD type;
    std::vector<BYTE> data;
};

Raw Dword(std::uint32_t value) {
    return {REG_DWORD, {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)}};
}

Raw String(DWORD type, const std::wstring& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

struct Kind {
    const char* name;
    Raw asInt;     // what every int value holds
    Raw asString;  // what both string values hold
};

DWORD TypeOf(const std::wstring& key, const wchar_t* name) {
    DWORD type = REG_NONE, size = 0;
    RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size);
    return type;
}

TEST(RegistryValues, EveryValueHostileAtOnce) {
    const std::wstring huge(1000000, L'字');
    const Kind kinds[] = {
        {"types swapped", String(REG_SZ, L"-5"), Dword(7)},
        {"minus one", Dword(0xFFFFFFFFu), String(REG_SZ, L"-1")},
        {"smallest int", Dword(0x80000000u), String(REG_MULTI_SZ, L"a")},
        {"largest int", Dword(INT_MAX), String(REG_EXPAND_SZ, L"%TEMP%\\x.zip")},
        {"huge strings", String(REG_SZ, huge), String(REG_SZ, huge)},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        gui::TestProfile profile;
        auto write = [&](const wchar_t* name, const Raw& raw) {
            return profile.WriteRaw(name, raw.type, raw.data.data(), static_cast<DWORD>(raw.data.size()));
        };
        for (const wchar_t* name : kIntValues) ASSERT_TRUE(write(name, kind.asInt));
        for (const wchar_t* name : kStringValues) ASSERT_TRUE(write(name, kind.asString));
        bool shown = false;
        gui::RunMainWindow(profile, [&] {
            HWND main = gui::WaitForWindow(L"Tirvo");
            shown = main != nullptr;
            if (main) gui::PressKey(main, VK_ESCAPE);
        });
        EXPECT_TRUE(shown) << "the main window did not appear";
        const std::wstring key = L"Software\\Dremmil\\" + profile.AppName();
        for (const wchar_t* name : kIntValues) EXPECT_EQ(TypeOf(key, name), DWORD(REG_DWORD)) << gui::Utf8(name);
        for (const wchar_t* name : kStringValues) EXPECT_EQ(TypeOf(key, name), DWORD(REG_SZ)) << gui::Utf8(name);
        std::optional<DWORD> year = profile.ReadDword(L"Year"), month = profile.ReadDword(L"Month"),
                             day = profile.ReadDword(L"Day");
        ASSERT_TRUE(year && month && day);
        EXPECT_TRUE(*year >= 1970 && *year <= 3000 && *month >= 1 && *month <= 12 && *day >= 1 && *day <= 31)
            << *year << "-" << *month << "-" << *day;
    }
}

}  // namespace
