// Loading and saving the 23 values through a profile in memory. What the
// real registry makes of them is in tests/windows.
#include "base/settings_store.h"

#include "base/local_date.h"
#include "settings_fields.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

class MemoryProfile : public SettingsProfile {
public:
    int ReadInt(const std::wstring& name, int defaultValue) override {
        return ints.contains(name) ? ints[name] : defaultValue;
    }
    std::wstring ReadString(const std::wstring& name, const std::wstring& defaultValue) override {
        return strings.contains(name) ? strings[name] : defaultValue;
    }
    void WriteInt(const std::wstring& name, int value) override { ints[name] = value; }
    void WriteString(const std::wstring& name, const std::wstring& value) override { strings[name] = value; }

    std::map<std::wstring, int> ints;
    std::map<std::wstring, std::wstring> strings;
};

// Year, Month and Day as saved.
std::vector<int> SavedDay(MemoryProfile& profile) {
    return {profile.ints[L"Year"], profile.ints[L"Month"], profile.ints[L"Day"]};
}

std::int64_t Midnight(int year, int month, int day) { return *MakeLocalTime({year, month, day}); }

TEST(SettingsStore, EmptyProfileGivesTheDefaultsInEveryField) {
    MemoryProfile profile;
    Settings settings{123, L"x", 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 99, 9, 9, 9, 9, 9, L"y", 9};   // poisoned
    LoadSettings(profile, settings);
    Settings expected;
    expected.tDate = Midnight(2000, 12, 29);
    EXPECT_EQ(Fields(settings), Fields(expected));
}

// What is stored as Year, Month and Day, what it loads as, and what is saved
// back: a day that does not exist, or lies outside the years the date
// conversion supports, gives the default date.
TEST(SettingsStore, StoredDatesLoadAsThatDayOrTheDefault) {
    struct Case {
        const char* what;
        int year, month, day;
        bool valid;
    };
    const Case cases[] = {
        {"leap day", 2024, 2, 29, true},       {"leap day of a 400th year", 2400, 2, 29, true},
        {"first supported", kFirstYear, 1, 1, true}, {"last supported", kLastYear, 12, 31, true},
        {"31st of April", 2001, 4, 31, false}, {"29th of February of a 100th year", 2100, 2, 29, false},
        {"month 13", 2001, 13, 1, false},      {"day 0", 2001, 5, 0, false},
        {"before the supported years", 1969, 7, 20, false}, {"huge year", 2147483647, 12, 31, false},
    };
    for (const Case& c : cases) {
        MemoryProfile profile;
        profile.ints = {{L"Year", c.year}, {L"Month", c.month}, {L"Day", c.day}};
        Settings settings;
        LoadSettings(profile, settings);
        EXPECT_EQ(settings.tDate, c.valid ? Midnight(c.year, c.month, c.day) : Midnight(2000, 12, 29)) << c.what;
        SaveSettings(profile, settings);
        EXPECT_EQ(SavedDay(profile), (c.valid ? std::vector<int>{c.year, c.month, c.day} : std::vector<int>{2000, 12, 29}))
            << c.what;
    }
}

// A date with a time of day is saved as its day; a time outside the
// supported years is saved as the default date.
TEST(SettingsStore, DatesAreSavedAsTheirDayOrTheDefault) {
    const std::pair<std::int64_t, std::vector<int>> cases[] = {
        {*MakeLocalTime({2011, 3, 11, 14, 46, 18}), {2011, 3, 11}},
        {*MakeLocalTime({kLastYear, 12, 31, 23, 59, 59}), {kLastYear, 12, 31}},
        {*MakeLocalTime({kFirstYear, 1, 1}) - 1, {2000, 12, 29}},
        {*MakeLocalTime({kLastYear, 12, 31, 23, 59, 59}) + 1, {2000, 12, 29}},
        {INT64_MIN, {2000, 12, 29}},
        {INT64_MAX, {2000, 12, 29}},
    };
    for (const auto& [time, day] : cases) {
        MemoryProfile profile;
        Settings settings;
        settings.tDate = time;
        SaveSettings(profile, settings);
        EXPECT_EQ(SavedDay(profile), day) << time;
    }
}

}  // namespace
