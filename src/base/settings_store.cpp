#include "base/settings_store.h"

#include "base/local_date.h"

void LoadSettings(SettingsProfile& profile, Settings& settings) {
    int day = profile.ReadInt(L"Day", kDefaultDay);
    int month = profile.ReadInt(L"Month", kDefaultMonth);
    int year = profile.ReadInt(L"Year", kDefaultYear);
    std::optional<std::int64_t> date = MakeLocalTime({year, month, day});
    if (!date) date = MakeLocalTime({kDefaultYear, kDefaultMonth, kDefaultDay});
    if (date) settings.tDate = *date;

    settings.stTempDir = profile.ReadString(L"stTempDir", L"");
    settings.bTemp = profile.ReadInt(L"bTemp", 0);
    settings.bSystem = profile.ReadInt(L"bSystem", 1);
    settings.bVolume = profile.ReadInt(L"bVolume", 0);
    settings.bExtra = profile.ReadInt(L"bExtra", 0);
    settings.bNoDirEntries = profile.ReadInt(L"bNoDirEntries", 0);
    settings.bExcludeDate = profile.ReadInt(L"bExcludeDate", 0);
    settings.bIncludeDate = profile.ReadInt(L"bIncludeDate", 0);
    settings.bQuiet = profile.ReadInt(L"bQuiet", 0);
    settings.bCRLF_LF = profile.ReadInt(L"bCRLF_LF", 0);
    settings.bLF_CRLF = profile.ReadInt(L"bLF_CRLF", 0);
    settings.bLatestTime = profile.ReadInt(L"bLatestTime", 0);
    settings.nLevel = profile.ReadInt(L"nLevel", 6);
    settings.bEncrypt = profile.ReadInt(L"bEncrypt", 0);
    settings.bJunkDir = profile.ReadInt(L"bJunkDir", 0);
    settings.bForce = profile.ReadInt(L"bForce", 0);
    settings.bComment = profile.ReadInt(L"bComment", 0);
    settings.nMode = profile.ReadInt(L"nMode", 0);
    settings.stFileName = profile.ReadString(L"stFileName", L"");
    settings.bTopMost = profile.ReadInt(L"bTopMost", 1);
}

void SaveSettings(SettingsProfile& profile, const Settings& settings) {
    LocalDateTime date{kDefaultYear, kDefaultMonth, kDefaultDay};
    if (std::optional<LocalDateTime> local = SplitLocalTime(settings.tDate)) date = *local;
    profile.WriteInt(L"Year", date.year);
    profile.WriteInt(L"Month", date.month);
    profile.WriteInt(L"Day", date.day);

    profile.WriteString(L"stTempDir", settings.stTempDir);
    profile.WriteInt(L"bTemp", settings.bTemp);
    profile.WriteInt(L"bSystem", settings.bSystem);
    profile.WriteInt(L"bVolume", settings.bVolume);
    profile.WriteInt(L"bExtra", settings.bExtra);
    profile.WriteInt(L"bNoDirEntries", settings.bNoDirEntries);
    profile.WriteInt(L"bExcludeDate", settings.bExcludeDate);
    profile.WriteInt(L"bIncludeDate", settings.bIncludeDate);
    profile.WriteInt(L"bQuiet", settings.bQuiet);
    profile.WriteInt(L"bCRLF_LF", settings.bCRLF_LF);
    profile.WriteInt(L"bLF_CRLF", settings.bLF_CRLF);
    profile.WriteInt(L"bLatestTime", settings.bLatestTime);
    profile.WriteInt(L"nLevel", settings.nLevel);
    profile.WriteInt(L"bEncrypt", settings.bEncrypt);
    profile.WriteInt(L"bJunkDir", settings.bJunkDir);
    profile.WriteInt(L"bForce", settings.bForce);
    profile.WriteInt(L"bComment", settings.bComment);
    profile.WriteInt(L"nMode", settings.nMode);
    profile.WriteString(L"stFileName", settings.stFileName);
    profile.WriteInt(L"bTopMost", settings.bTopMost);
}
