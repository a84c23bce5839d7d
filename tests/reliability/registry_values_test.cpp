// Under Wine: the program started as it starts (settings loaded from the
// registry, main window run, settings saved) over a registry whose 23 values
// hold wrong types, negative and extreme numbers and huge strings, all at
// once. It must start, show its window, end, and leave every value with its
// own type and a date that exists (each wrong shape alone: tests/windows/registry_test.cpp).
#include "gui_harness.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

const wchar_t* const kIntValues[] = {L"Year", L"Month", L"Day", L"bTemp", L"bSystem", L"bVolume", L"bExtra",
                                     L"bNoDirEntries", L"bExcludeDate", L"bIncludeDate", L"bQuiet", L"bCRLF_LF",
                                     L"bLF_CRLF", L"bLatestTime", L"nLevel", L"bEncrypt", L"bJunkDir", L"bForce",
                                     L"bComment", L"nMode", L"bTopMost"};
const wchar_t* const kStringValues[] = {L"stTempDir", L"stFileName"};

// A value as the registry holds it: a type, and a number or a text.
struct Raw {
    DWORD type;
    std::wstring text;
    DWORD number = 0;

    bool WriteTo(const gui::TestProfile& profile, const wchar_t* name) const {
        if (type == REG_DWORD) return profile.WriteRaw(name, type, &number, sizeof(number));
        return profile.WriteRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
};

TEST(RegistryValues, EveryValueHostileAtOnce) {
    const std::wstring huge(1000000, L'字');
    const struct {
        const char* name;
        Raw asInt, asString;  // what every int value holds, what both string values hold
    } kinds[] = {
        {"types swapped", {REG_SZ, L"-5"}, {REG_DWORD, L"", 7}},
        {"minus one", {REG_DWORD, L"", 0xFFFFFFFFu}, {REG_SZ, L"-1"}},
        {"smallest int", {REG_DWORD, L"", 0x80000000u}, {REG_MULTI_SZ, L"a"}},
        {"largest int", {REG_DWORD, L"", INT_MAX}, {REG_EXPAND_SZ, L"%TEMP%\\x.zip"}},
        {"huge strings", {REG_SZ, huge}, {REG_SZ, huge}},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        gui::TestProfile profile;
        for (const wchar_t* name : kIntValues) ASSERT_TRUE(kind.asInt.WriteTo(profile, name));
        for (const wchar_t* name : kStringValues) ASSERT_TRUE(kind.asString.WriteTo(profile, name));
        bool shown = false;
        gui::RunMainWindow(profile, [&] {
            HWND main = gui::WaitForWindow(L"Tirvo");
            shown = main != nullptr;
            if (main) gui::PressKey(main, VK_ESCAPE);
        });
        EXPECT_TRUE(shown) << "the main window did not appear";
        auto typeOf = [&](const wchar_t* name) {
            DWORD type = REG_NONE, size = 0;
            RegGetValueW(HKEY_CURRENT_USER, profile.Path().c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                         &size);
            return type;
        };
        for (const wchar_t* name : kIntValues) EXPECT_EQ(typeOf(name), DWORD(REG_DWORD)) << gui::Utf8(name);
        for (const wchar_t* name : kStringValues) EXPECT_EQ(typeOf(name), DWORD(REG_SZ)) << gui::Utf8(name);
        const DWORD year = profile.ReadDword(L"Year").value_or(0), month = profile.ReadDword(L"Month").value_or(0),
                    day = profile.ReadDword(L"Day").value_or(0);
        EXPECT_TRUE(year >= 1970 && year <= 3000 && month >= 1 && month <= 12 && day >= 1 && day <= 31)
            << year << "-" << month << "-" << day;
    }
}

}  // namespace
