// Every field of Settings as one comparable (and printable) tuple.
#pragma once

#include "base/settings.h"

#include <tuple>

inline auto Fields(const Settings& s) {
    return std::tie(s.tDate, s.stTempDir, s.bTemp, s.bSystem, s.bVolume, s.bExtra, s.bNoDirEntries,
                    s.bExcludeDate, s.bIncludeDate, s.bQuiet, s.bCRLF_LF, s.bLF_CRLF, s.bLatestTime, s.nLevel,
                    s.bEncrypt, s.bJunkDir, s.bForce, s.bComment, s.nMode, s.stFileName, s.bTopMost);
}
