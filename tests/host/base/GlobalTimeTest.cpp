#include "base/GlobalTime.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

// Puts the process in a time zone for one test and restores the one it had.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) fOld = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (fOld)
            ::setenv("TZ", fOld->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> fOld;
};

constexpr uint64 TicksOfUnixSeconds(int64 seconds) {
    return static_cast<uint64>(static_cast<int64>(GlobalTime::kUnixEpochTicks) +
                               seconds * static_cast<int64>(GlobalTime::kTicksPerSecond));
}

class GlobalTimeTest : public ::testing::Test {
protected:
    void TearDown() override { GlobalTime::SetClock({}); }
};

TEST_F(GlobalTimeTest, FixedClockDrivesCurrentTime) {
    const uint64 fixed = TicksOfUnixSeconds(1425373507) + 1234567;
    GlobalTime::SetClock([&] { return fixed; });
    EXPECT_EQ(GlobalTime::Now(), fixed);
    GlobalTime t;
    EXPECT_FALSE(t.IsValid());
    t.CurrentTime();
    EXPECT_EQ(t.GetTime(), fixed);
    EXPECT_TRUE(t.IsValid());
}

TEST_F(GlobalTimeTest, ClockIsAskedEachTime) {
    uint64 next = 1000;
    GlobalTime::SetClock([&] { return next++; });
    GlobalTime a, b;
    a.CurrentTime();
    b.CurrentTime();
    EXPECT_EQ(a.GetTime(), 1000u);
    EXPECT_EQ(b.GetTime(), 1001u);
    EXPECT_LT(a, b);
}

TEST_F(GlobalTimeTest, EmptyClockRestoresSystemClock) {
    GlobalTime::SetClock([] { return uint64{42}; });
    ASSERT_EQ(GlobalTime::Now(), 42u);
    GlobalTime::SetClock({});
    const uint64 now = GlobalTime::Now();
    // Somewhere after 2020-01-01 and before 2200-01-01.
    EXPECT_GT(now, TicksOfUnixSeconds(1577836800));
    EXPECT_LT(now, TicksOfUnixSeconds(7258118400));
}

TEST_F(GlobalTimeTest, UnixEpochConstantIsRight) {
    // 369 years of 365 days plus 89 leap days lie between 1601 and 1970.
    EXPECT_EQ(GlobalTime::kUnixEpochTicks, (369ULL * 365 + 89) * 86400 * GlobalTime::kTicksPerSecond);
}

struct CalendarCase {
    int32 year, month, day, hour, minute, second;
    int64 unixSecondsUTC;
};

const std::vector<CalendarCase> kCalendarCases = {
    {2015, 3, 3, 9, 5, 7, 1425373507},   {2000, 2, 29, 23, 59, 59, 951868799}, {1970, 1, 1, 0, 0, 0, 0},
    {2038, 1, 19, 3, 14, 8, 2147483648}, {1999, 12, 31, 0, 0, 0, 946598400},   {1969, 12, 31, 23, 59, 59, -1},
};

TEST_F(GlobalTimeTest, LocalCalendarFieldsInUTC) {
    ScopedTimeZone tz("UTC");
    for (const auto& c : kCalendarCases) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        GlobalTime t;
        ASSERT_TRUE(t.SetTime(c.year, c.month, c.day, c.hour, c.minute, c.second));
        EXPECT_EQ(t.GetTime(), TicksOfUnixSeconds(c.unixSecondsUTC));
        int32 y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        t.GetTime(&y, &mo, &d, &h, &mi, &s);
        EXPECT_EQ(y, c.year);
        EXPECT_EQ(mo, c.month);
        EXPECT_EQ(d, c.day);
        EXPECT_EQ(h, c.hour);
        EXPECT_EQ(mi, c.minute);
        EXPECT_EQ(s, c.second);
    }
}

TEST_F(GlobalTimeTest, LocalMeansTheProcessTimeZone) {
    // A fixed zone one hour east of UTC, without daylight saving.
    ScopedTimeZone tz("CET-1");
    for (const auto& c : kCalendarCases) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        GlobalTime t;
        ASSERT_TRUE(t.SetTime(c.year, c.month, c.day, c.hour, c.minute, c.second));
        EXPECT_EQ(t.GetTime(), TicksOfUnixSeconds(c.unixSecondsUTC - 3600));
        int32 y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        t.GetTime(&y, &mo, &d, &h, &mi, &s);
        EXPECT_EQ(y, c.year);
        EXPECT_EQ(mo, c.month);
        EXPECT_EQ(d, c.day);
        EXPECT_EQ(h, c.hour);
        EXPECT_EQ(mi, c.minute);
        EXPECT_EQ(s, c.second);
    }
}

TEST_F(GlobalTimeTest, GetTimeTakesNullFieldsAndDropsSubSeconds) {
    ScopedTimeZone tz("UTC");
    GlobalTime t(TicksOfUnixSeconds(1425373507) + GlobalTime::kTicksPerSecond - 1);
    int32 day = 0, second = 0;
    t.GetTime(nullptr, nullptr, &day, nullptr, nullptr, &second);
    EXPECT_EQ(day, 3);
    EXPECT_EQ(second, 7);
}

TEST_F(GlobalTimeTest, ValueSemantics) {
    GlobalTime a(5), b(5), c(6);
    EXPECT_EQ(a, b);
    EXPECT_LT(a, c);
    EXPECT_NE(a, c);
    a.SetTime(uint64{6});
    EXPECT_EQ(a, c);
    EXPECT_FALSE(GlobalTime(0).IsValid());
}

} // namespace
