// MS-DOS date and time (local time, two-second steps) as ZIP headers hold
// them, and the "%m%d%Y" day of the date filters.
#pragma once

#include <cstdint>
#include <string>

struct DosTime {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    std::uint32_t Packed() const { return (static_cast<std::uint32_t>(date) << 16) | time; }
};

// Odd seconds round up, so that a file archived once is not "newer" than its
// entry at the next update. Times before 1980 become 1980-01-01 00:00.
DosTime ToDosTime(std::int64_t unixTime);
std::int64_t FromDosTime(DosTime dos);
// Local midnight of the day "MMDDYYYY"; false when the text is no such day.
bool ParseFilterDate(const std::string& text, std::int64_t& midnight);
