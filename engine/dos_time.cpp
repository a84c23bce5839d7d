#include "dos_time.h"

#include <ctime>

static_assert(sizeof(std::time_t) == 8, "dates up to 2999 need a 64-bit time_t");

namespace {

bool ToLocal(std::int64_t unixTime, std::tm& out) {
    std::time_t t = static_cast<std::time_t>(unixTime);
#if defined(_WIN32)
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

}  // namespace

DosTime ToDosTime(std::int64_t unixTime) {
    std::tm tm{};
    DosTime dos;
    if (!ToLocal(unixTime + (unixTime & 1), tm) || tm.tm_year < 80) {
        dos.date = (1 << 5) | 1;
        return dos;
    }
    if (tm.tm_year > 207) {  // the last time MS-DOS can hold
        tm.tm_year = 207;
        tm.tm_mon = 11;
        tm.tm_mday = 31;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = 58;
    }
    dos.time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    dos.date = static_cast<std::uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    return dos;
}

std::int64_t FromDosTime(DosTime dos) {
    std::tm tm{};
    tm.tm_year = (dos.date >> 9) + 80;
    tm.tm_mon = ((dos.date >> 5) & 0x0F) - 1;
    tm.tm_mday = dos.date & 0x1F;
    tm.tm_hour = dos.time >> 11;
    tm.tm_min = (dos.time >> 5) & 0x3F;
    tm.tm_sec = (dos.time & 0x1F) * 2;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

bool ParseFilterDate(const std::string& text, std::int64_t& midnight) {
    if (text.size() != 8) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    int month = std::stoi(text.substr(0, 2));
    int day = std::stoi(text.substr(2, 2));
    int year = std::stoi(text.substr(4, 4));
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1970) return false;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != day) return false;  // 02312000 is no day
    midnight = static_cast<std::int64_t>(t);
    return true;
}
