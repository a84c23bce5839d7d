// Loading and saving the 23 values through a profile in memory, and local dates.
#include "base/settings_store.h"

#include "base/local_date.h"
#include "settings_fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

namespace {

struct MemoryProfile : SettingsProfile {
    int ReadInt(const std::wstring& name, int fallback) override { return ints.contains(name) ? ints[name] : fallback; }
    std::wstring ReadString(const std::wstring& name, const std::wstring& fallback) override {
        return strings.contains(name) ? strings[name] : fallback;
    }
    void WriteInt(const std::wstring& name, int value) override { ints[name] = value; }
    void WriteString(const std::wstring& name, const std::wstring& value) override { strings[name] = value; }
    std::vector<int> SavedDay() { return {ints[L"Year"], ints[L"Month"], ints[L"Day"]}; }

    std::map<std::wstring, int> ints;
    std::map<std::wstring, std::wstring> strings;
};

std::int64_t Midnight(int year, int month, int day) { return *MakeLocalTime({year, month, day}); }

// An empty profile gives the defaults. Every field unlike its default and every other (a value read under another's
// name shows) is saved as 21 ints and 2 strings and loads back, the date as its day, a level of 42 or mode of -1 kept.
TEST(SettingsStore, DefaultsFromAnEmptyProfileAndEveryFieldBackAsSaved) {
    MemoryProfile profile;
    Settings settings{123, L"x", 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 99, 9, 9, 9, 9, 9, L"y", 9};  // poisoned
    LoadSettings(profile, settings);
    Settings expected;
    expected.tDate = Midnight(2000, 12, 29);
    EXPECT_EQ(Fields(settings), Fields(expected));

    settings = {*MakeLocalTime({2012, 7, 8, 9, 10, 11}), L"D:\\作業", 1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 42,
                11, 12, 5, 13, -1, L"C:\\書庫\\a.zip", 0};
    SaveSettings(profile, settings);
    EXPECT_EQ(profile.ints.size(), 21u);
    EXPECT_EQ(profile.strings.size(), 2u);
    LoadSettings(profile, expected);
    settings.tDate = Midnight(2012, 7, 8);
    EXPECT_EQ(Fields(expected), Fields(settings));
}

// A stored day loads and is saved back as it was, one that does not exist or lies outside the supported years as the
// default date; a time is saved as its day, or as the default date outside those years. Natively, under TZ: a
// midnight the clock change skips (São Paulo, 2018-11-04) gives a time that day, Berlin's 2020-03-29 has 23 hours.
TEST(SettingsStore, DatesLoadAndSaveAsTheirDayOrTheDefault) {
    const std::vector<int> fallback{2000, 12, 29};
    const std::vector<int> stored[] = {
        {2024, 2, 29}, {2400, 2, 29}, {kFirstYear, 1, 1}, {kLastYear, 12, 31},  // valid
        {2001, 4, 31}, {2100, 2, 29}, {2001, 13, 1}, {2001, 5, 0}, {1969, 7, 20}, {2147483647, 12, 31}};
    for (const auto& day : stored) {
        const bool valid = &day - stored < 4;
        MemoryProfile profile;
        profile.ints = {{L"Year", day[0]}, {L"Month", day[1]}, {L"Day", day[2]}};
        Settings settings;
        LoadSettings(profile, settings);
        EXPECT_EQ(settings.tDate, valid ? Midnight(day[0], day[1], day[2]) : Midnight(2000, 12, 29)) << day[0];
        SaveSettings(profile, settings);
        EXPECT_EQ(profile.SavedDay(), valid ? day : fallback);
    }
    const std::pair<std::int64_t, std::vector<int>> times[] = {
        {*MakeLocalTime({2011, 3, 11, 14, 46, 18}), {2011, 3, 11}},
        {*MakeLocalTime({kLastYear, 12, 31, 23, 59, 59}), {kLastYear, 12, 31}},
        {Midnight(kFirstYear, 1, 1) - 1, fallback},
        {*MakeLocalTime({kLastYear, 12, 31, 23, 59, 59}) + 1, fallback},
        {INT64_MIN, fallback}, {INT64_MAX, fallback},
    };
    for (const auto& [time, day] : times) {
        MemoryProfile profile;
        Settings settings;
        settings.tDate = time;
        SaveSettings(profile, settings);
        EXPECT_EQ(profile.SavedDay(), day) << time;
    }
#ifndef _WIN32
    const char* old = std::getenv("TZ");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    auto zone = [](const char* name) {
        name ? setenv("TZ", name, 1) : unsetenv("TZ");
        tzset();
    };
    zone("America/Sao_Paulo");
    const std::optional<LocalDateTime> skipped = SplitLocalTime(Midnight(2018, 11, 4));
    zone("Europe/Berlin");
    const std::int64_t shortDay = Midnight(2020, 3, 30) - Midnight(2020, 3, 29);
    zone(saved ? saved->c_str() : nullptr);
    ASSERT_TRUE(skipped);
    EXPECT_EQ(std::tie(skipped->month, skipped->day), std::make_tuple(11, 4));
    EXPECT_EQ(shortDay, 23 * 3600);
#endif
}

}  // namespace
