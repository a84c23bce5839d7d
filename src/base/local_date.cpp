#include "base/local_date.h"

#include <ctime>

static_assert(sizeof(std::time_t) == 8, "dates up to 2999 need a 64-bit time_t");

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool ToLocalTm(std::time_t time, std::tm& out) {
#ifdef _WIN32
    return localtime_s(&out, &time) == 0;
#else
    return localtime_r(&time, &out) != nullptr;
#endif
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    return year >= kFirstYear && year <= kLastYear && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

std::optional<std::int64_t> MakeLocalTime(const LocalDateTime& local) {
    if (!IsValidDate(local.year, local.month, local.day)) return std::nullopt;
    if (local.hour < 0 || local.hour > 23 || local.minute < 0 || local.minute > 59 ||
        local.second < 0 || local.second > 59) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;   // the system decides whether daylight saving applies
    std::time_t time = std::mktime(&fields);
    if (time == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(time);
}

std::optional<LocalDateTime> SplitLocalTime(std::int64_t time) {
    std::tm fields{};
    if (!ToLocalTm(static_cast<std::time_t>(time), fields)) return std::nullopt;
    LocalDateTime local{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                        fields.tm_hour, fields.tm_min, fields.tm_sec};
    if (local.year < kFirstYear || local.year > kLastYear) return std::nullopt;
    return local;
}
