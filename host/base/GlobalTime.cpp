#include "base/GlobalTime.h"

#include <chrono>
#include <ctime>

namespace {
GlobalTime::Clock& TheClock() {
    static GlobalTime::Clock clock;
    return clock;
}
} // namespace

void GlobalTime::SetClock(Clock clock) { TheClock() = std::move(clock); }

uint64 GlobalTime::Now() {
    if (TheClock()) return TheClock()();
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    return kUnixEpochTicks + static_cast<uint64>(ticks);
}

void GlobalTime::CurrentTime() { fTicks = Now(); }

bool GlobalTime::SetTime(int32 year, int32 month, int32 day, int32 hour, int32 minute, int32 second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(year == 1969 && month == 12 && day == 31)) return false;
    fTicks = kUnixEpochTicks + static_cast<uint64>(static_cast<int64>(t) * 10'000'000LL);
    return true;
}

void GlobalTime::GetTime(int32* year, int32* month, int32* day, int32* hour, int32* minute,
                         int32* second) const {
    auto secs = static_cast<std::time_t>((static_cast<int64>(fTicks) - static_cast<int64>(kUnixEpochTicks)) /
                                         static_cast<int64>(kTicksPerSecond));
    std::tm tm{};
    localtime_r(&secs, &tm);
    if (year) *year = tm.tm_year + 1900;
    if (month) *month = tm.tm_mon + 1;
    if (day) *day = tm.tm_mday;
    if (hour) *hour = tm.tm_hour;
    if (minute) *minute = tm.tm_min;
    if (second) *second = tm.tm_sec;
}
