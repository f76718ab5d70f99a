// GlobalTime: a point in time as 100-nanosecond ticks since 1 January 1601 (UTC).
// "Now" comes from one replaceable clock, so tests can fix it.
#pragma once

#include "base/PMTypes.h"

#include <functional>

class GlobalTime {
public:
    using Clock = std::function<uint64()>;
    static constexpr uint64 kTicksPerSecond = 10'000'000ULL;
    // Ticks between 1601-01-01 and the Unix epoch.
    static constexpr uint64 kUnixEpochTicks = 116'444'736'000'000'000ULL;

    GlobalTime() = default;
    explicit GlobalTime(uint64 ticks) : fTicks(ticks) {}

    void CurrentTime();
    uint64 GetTime() const { return fTicks; }
    void SetTime(uint64 ticks) { fTicks = ticks; }
    // Local calendar time; month 1-12, day 1-31. Returns false when the fields do not make a time.
    bool SetTime(int32 year, int32 month, int32 day, int32 hour, int32 minute, int32 second);
    void GetTime(int32* year, int32* month, int32* day, int32* hour, int32* minute, int32* second) const;
    bool IsValid() const { return fTicks != 0; }

    friend bool operator==(const GlobalTime& a, const GlobalTime& b) = default;
    friend auto operator<=>(const GlobalTime& a, const GlobalTime& b) = default;

    // Replaces the clock behind CurrentTime; an empty clock restores the system clock.
    static void SetClock(Clock clock);
    static uint64 Now();

private:
    uint64 fTicks = 0;
};
