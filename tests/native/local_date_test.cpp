#include "app/local_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

struct DateCase {
    int year, month, day;
    bool valid;
};

TEST(LocalDate, CalendarValidity) {
    const DateCase cases[] = {
        {2000, 12, 29, true},  {2000, 2, 29, true},   {2004, 2, 29, true},   {2400, 2, 29, true},
        {2100, 2, 29, false},  {2001, 2, 29, false},  {2001, 2, 31, false},  {2001, 4, 31, false},
        {2001, 12, 31, true},  {2001, 13, 1, false},  {2001, 0, 1, false},   {2001, 1, 0, false},
        {2001, 1, 32, false},  {2001, -1, 5, false},  {kFirstYear, 1, 1, true}, {kFirstYear - 1, 12, 31, false},
        {kLastYear, 12, 31, true}, {kLastYear + 1, 1, 1, false}, {0, 0, 0, false}, {-2000, 1, 1, false},
    };
    for (const DateCase& c : cases) {
        EXPECT_EQ(IsValidDate(c.year, c.month, c.day), c.valid) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(MakeLocalTime({c.year, c.month, c.day}).has_value(), c.valid)
            << c.year << "-" << c.month << "-" << c.day;
    }
}

TEST(LocalDate, RoundTripKeepsDateAndTimeOfDay) {
    const LocalDateTime cases[] = {
        {kFirstYear, 1, 1, 0, 0, 0}, {2000, 12, 29, 0, 0, 0}, {2000, 2, 29, 13, 14, 15},
        {2038, 1, 19, 3, 14, 8},     {2038, 1, 20, 0, 0, 0},  {kLastYear, 12, 31, 0, 0, 0},
    };
    for (const LocalDateTime& c : cases) {
        std::optional<std::int64_t> time = MakeLocalTime(c);
        ASSERT_TRUE(time) << c.year << "-" << c.month << "-" << c.day;
        std::optional<LocalDateTime> back = SplitLocalTime(*time);
        ASSERT_TRUE(back) << *time;
        EXPECT_EQ(back->year, c.year);
        EXPECT_EQ(back->month, c.month);
        EXPECT_EQ(back->day, c.day);
        EXPECT_EQ(back->hour, c.hour);
        EXPECT_EQ(back->minute, c.minute);
        EXPECT_EQ(back->second, c.second);
    }
}

TEST(LocalDate, TimesOutsideTheSupportedYearsDoNotSplit) {
    std::optional<std::int64_t> first = MakeLocalTime({kFirstYear, 1, 1});
    std::optional<std::int64_t> last = MakeLocalTime({kLastYear, 12, 31, 23, 59, 59});
    ASSERT_TRUE(first && last);
    EXPECT_FALSE(SplitLocalTime(*first - 1));
    EXPECT_FALSE(SplitLocalTime(*last + 1));
    EXPECT_FALSE(SplitLocalTime(-1));
    EXPECT_FALSE(SplitLocalTime(INT64_MIN));
    EXPECT_FALSE(SplitLocalTime(INT64_MAX));
}

#ifndef _WIN32
// Daylight saving time is the system's: a midnight that the clock change
// skips still gives a time on that day.
class LocalDateInZone : public testing::Test {
protected:
    void Use(const char* zone) {
        const char* old = std::getenv("TZ");
        m_saved = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("TZ", zone, 1);
        tzset();
    }
    void TearDown() override {
        if (m_saved) {
            setenv("TZ", m_saved->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    std::optional<std::string> m_saved;
};

TEST_F(LocalDateInZone, SkippedMidnightStaysOnItsDay) {
    Use("America/Sao_Paulo");   // clocks went from 00:00 to 01:00 on 2018-11-04
    std::optional<std::int64_t> time = MakeLocalTime({2018, 11, 4});
    ASSERT_TRUE(time);
    std::optional<LocalDateTime> back = SplitLocalTime(*time);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->day, 4);
    EXPECT_EQ(back->month, 11);
}

TEST_F(LocalDateInZone, SummerAndWinterMidnightsBothRoundTrip) {
    Use("Europe/Berlin");
    for (int month : {1, 3, 7, 10, 12}) {
        std::optional<std::int64_t> time = MakeLocalTime({2020, month, 28});
        ASSERT_TRUE(time);
        std::optional<LocalDateTime> back = SplitLocalTime(*time);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->month, month);
        EXPECT_EQ(back->day, 28);
        EXPECT_EQ(back->hour, 0);
    }
    // 2020-03-29 had 23 hours in Berlin.
    EXPECT_EQ(*MakeLocalTime({2020, 3, 30}) - *MakeLocalTime({2020, 3, 29}), 23 * 3600);
}
#endif

}  // namespace
