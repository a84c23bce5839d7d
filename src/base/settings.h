// The 23 persisted values (21 fields; tDate is stored as Year, Month, Day),
// held by the main window for the whole run of the program.
#pragma once

#include <cstdint>
#include <string>

struct Settings {
    std::int64_t tDate = 0;     // seconds since 1970; local midnight of the filter date
    std::wstring stTempDir;
    int bTemp = 0;
    int bSystem = 1;
    int bVolume = 0;
    int bExtra = 0;
    int bNoDirEntries = 0;
    int bExcludeDate = 0;
    int bIncludeDate = 0;
    int bQuiet = 0;
    int bCRLF_LF = 0;
    int bLF_CRLF = 0;
    int bLatestTime = 0;
    int nLevel = 6;
    int bEncrypt = 0;
    int bJunkDir = 0;
    int bForce = 0;
    int bComment = 0;
    int nMode = 0;              // 0 add, 1 move, 2 update, 3 freshen; other values kept as stored
    std::wstring stFileName;
    int bTopMost = 1;
};
