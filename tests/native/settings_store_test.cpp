#include "app/settings_store.h"

#include "app/local_date.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <variant>
#include <vector>

namespace {

using Value = std::variant<int, std::wstring>;

// A profile in memory that records the order of every read and write.
class RecordingProfile : public SettingsProfile {
public:
    int ReadInt(const std::wstring& name, int defaultValue) override {
        reads.push_back(name);
        auto it = values.find(name);
        if (it == values.end() || !std::holds_alternative<int>(it->second)) return defaultValue;
        return std::get<int>(it->second);
    }
    std::wstring ReadString(const std::wstring& name, const std::wstring& defaultValue) override {
        reads.push_back(name);
        auto it = values.find(name);
        if (it == values.end() || !std::holds_alternative<std::wstring>(it->second)) return defaultValue;
        return std::get<std::wstring>(it->second);
    }
    void WriteInt(const std::wstring& name, int value) override {
        writes.push_back(name);
        values[name] = value;
    }
    void WriteString(const std::wstring& name, const std::wstring& value) override {
        writes.push_back(name);
        values[name] = value;
    }

    std::map<std::wstring, Value> values;
    std::vector<std::wstring> reads;
    std::vector<std::wstring> writes;
};

const std::vector<std::wstring> kSwitchesAndRest = {
    L"stTempDir", L"bTemp", L"bSystem", L"bVolume", L"bExtra", L"bNoDirEntries", L"bExcludeDate",
    L"bIncludeDate", L"bQuiet", L"bCRLF_LF", L"bLF_CRLF", L"bLatestTime", L"nLevel", L"bEncrypt",
    L"bJunkDir", L"bForce", L"bComment", L"nMode", L"stFileName", L"bTopMost"};

std::vector<std::wstring> Concat(std::vector<std::wstring> head, const std::vector<std::wstring>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::int64_t Midnight(int year, int month, int day) { return *MakeLocalTime({year, month, day}); }

TEST(SettingsStore, ReadsTheValuesInTheirOrder) {
    RecordingProfile profile;
    Settings settings;
    LoadSettings(profile, settings);
    EXPECT_EQ(profile.reads, Concat({L"Day", L"Month", L"Year"}, kSwitchesAndRest));
}

TEST(SettingsStore, WritesTheValuesInTheirOrder) {
    RecordingProfile profile;
    Settings settings;
    settings.tDate = Midnight(2010, 5, 6);
    SaveSettings(profile, settings);
    EXPECT_EQ(profile.writes, Concat({L"Year", L"Month", L"Day"}, kSwitchesAndRest));
}

TEST(SettingsStore, EmptyProfileGivesTheDefaults) {
    RecordingProfile profile;
    Settings settings;
    // Poison every field so that a default that is not applied shows.
    settings = Settings{123, L"x", 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 99, 9, 9, 9, 9, 9, L"y", 9};
    LoadSettings(profile, settings);
    EXPECT_EQ(settings.tDate, Midnight(2000, 12, 29));
    EXPECT_EQ(settings.stTempDir, L"");
    EXPECT_EQ(settings.bSystem, 1);
    EXPECT_EQ(settings.nLevel, 6);
    EXPECT_EQ(settings.nMode, 0);
    EXPECT_EQ(settings.stFileName, L"");
    EXPECT_EQ(settings.bTopMost, 1);
    for (int flag : {settings.bTemp, settings.bVolume, settings.bExtra, settings.bNoDirEntries,
                     settings.bExcludeDate, settings.bIncludeDate, settings.bQuiet, settings.bCRLF_LF,
                     settings.bLF_CRLF, settings.bLatestTime, settings.bEncrypt, settings.bJunkDir,
                     settings.bForce, settings.bComment}) {
        EXPECT_EQ(flag, 0);
    }
}

TEST(SettingsStore, ValuesAreTakenAsStoredAndSavedBackUnchanged) {
    RecordingProfile profile;
    profile.values = {
        {L"Year", 2024},     {L"Month", 2},           {L"Day", 29},           {L"stTempDir", L"D:\\作業"},
        {L"bTemp", 1},       {L"bSystem", 0},         {L"bVolume", 1},        {L"bExtra", 1},
        {L"bNoDirEntries", 1}, {L"bExcludeDate", 1},  {L"bIncludeDate", 1},   {L"bQuiet", 1},
        {L"bCRLF_LF", 1},    {L"bLF_CRLF", 1},        {L"bLatestTime", 1},    {L"nLevel", 42},
        {L"bEncrypt", 1},    {L"bJunkDir", 1},        {L"bForce", 5},         {L"bComment", 1},
        {L"nMode", 7},       {L"stFileName", L"C:\\書庫\\a.zip"}, {L"bTopMost", 0},
    };
    const std::map<std::wstring, Value> stored = profile.values;
    Settings settings;
    LoadSettings(profile, settings);
    EXPECT_EQ(settings.tDate, Midnight(2024, 2, 29));
    EXPECT_EQ(settings.nLevel, 42);
    EXPECT_EQ(settings.nMode, 7);
    EXPECT_EQ(settings.bForce, 5);
    EXPECT_EQ(settings.stFileName, L"C:\\書庫\\a.zip");

    profile.values.clear();
    SaveSettings(profile, settings);
    EXPECT_EQ(profile.values, stored);
}

struct StoredDate {
    const char* what;
    int year, month, day;
};

TEST(SettingsStore, StoredDateThatNamesNoDayGivesTheDefaultDate) {
    const StoredDate cases[] = {
        {"31st of February", 2001, 2, 31},   {"29th of February, no leap year", 2001, 2, 29},
        {"month 13", 2001, 13, 1},           {"month 0", 2001, 0, 10},
        {"day 0", 2001, 5, 0},               {"negative day", 2001, 5, -3},
        {"before the supported years", 1969, 7, 20}, {"after them", 3001, 1, 1},
        {"year 0", 0, 1, 1},                 {"huge year", 2147483647, 12, 31},
    };
    for (const StoredDate& c : cases) {
        RecordingProfile profile;
        profile.values = {{L"Year", c.year}, {L"Month", c.month}, {L"Day", c.day}};
        Settings settings;
        LoadSettings(profile, settings);
        EXPECT_EQ(settings.tDate, Midnight(2000, 12, 29)) << c.what;
        SaveSettings(profile, settings);
        EXPECT_EQ(std::get<int>(profile.values[L"Year"]), 2000) << c.what;
        EXPECT_EQ(std::get<int>(profile.values[L"Month"]), 12) << c.what;
        EXPECT_EQ(std::get<int>(profile.values[L"Day"]), 29) << c.what;
    }
}

TEST(SettingsStore, DateKeepsOnlyItsDayWhenSaved) {
    RecordingProfile profile;
    Settings settings;
    settings.tDate = *MakeLocalTime({2011, 3, 11, 14, 46, 18});
    SaveSettings(profile, settings);
    EXPECT_EQ(std::get<int>(profile.values[L"Year"]), 2011);
    EXPECT_EQ(std::get<int>(profile.values[L"Month"]), 3);
    EXPECT_EQ(std::get<int>(profile.values[L"Day"]), 11);
    LoadSettings(profile, settings);
    EXPECT_EQ(settings.tDate, Midnight(2011, 3, 11));
}

TEST(SettingsStore, DateOutsideTheSupportedYearsIsSavedAsTheDefault) {
    for (std::int64_t time : {std::int64_t{-86400 * 400}, std::int64_t{INT64_MAX}}) {
        RecordingProfile profile;
        Settings settings;
        settings.tDate = time;
        SaveSettings(profile, settings);
        EXPECT_EQ(std::get<int>(profile.values[L"Year"]), 2000);
        EXPECT_EQ(std::get<int>(profile.values[L"Month"]), 12);
        EXPECT_EQ(std::get<int>(profile.values[L"Day"]), 29);
    }
}

}  // namespace
