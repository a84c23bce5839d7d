// The local date conversion where the system's time zone matters.
#include "base/local_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Daylight saving time is the system's: a midnight that the clock change
// skips (São Paulo, 2018-11-04) still gives a time on that day, and a day
// of 23 hours (Berlin, 2020-03-29) is 23 hours long.
TEST(LocalDate, ClockChangesKeepTheDay) {
    const char* old = std::getenv("TZ");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("TZ", "America/Sao_Paulo", 1);
    tzset();
    const std::optional<LocalDateTime> skipped = SplitLocalTime(*MakeLocalTime({2018, 11, 4}));
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const std::int64_t shortDay = *MakeLocalTime({2020, 3, 30}) - *MakeLocalTime({2020, 3, 29});
    saved ? setenv("TZ", saved->c_str(), 1) : unsetenv("TZ");
    tzset();
    ASSERT_TRUE(skipped);
    EXPECT_EQ(std::tie(skipped->month, skipped->day), std::make_tuple(11, 4));
    EXPECT_EQ(shortDay, 23 * 3600);
}

}  // namespace
