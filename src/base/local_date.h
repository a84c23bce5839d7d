// Local calendar time <-> seconds since 1970 (the program's date/time value).
// The system's time zone and daylight saving rules apply, as in mktime and
// localtime. Only years kFirstYear..kLastYear are supported: every platform's
// C library converts them, whatever the time zone.
#pragma once

#include <cstdint>
#include <optional>

struct LocalDateTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

inline constexpr int kFirstYear = 1971;
inline constexpr int kLastYear = 2999;

// A day that exists in the calendar, within the supported years.
bool IsValidDate(int year, int month, int day);

// Empty when the date or the time of day is not valid. A time of day that the
// change to daylight saving time skips moves forward, on the same day.
std::optional<std::int64_t> MakeLocalTime(const LocalDateTime& local);

// Empty when the time lies outside the supported years.
std::optional<LocalDateTime> SplitLocalTime(std::int64_t time);
