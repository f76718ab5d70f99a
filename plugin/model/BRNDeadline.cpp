#include "model/BRNDeadline.h"

#include "base/GlobalTime.h"
#include "CVUtils.h"

#include <algorithm>
#include <limits>

namespace {
// Days from 1970-01-01 to a date of the proleptic Gregorian calendar; a month or day outside
// its range carries over, as the C library's mktime does. No overflow for any 32-bit parts.
int64 DaysFromCivil(int64 year, int64 month, int64 day) {
    const int64 m0 = month - 1;
    year += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
    const int64 m = ((m0 % 12) + 12) % 12 + 1;
    // Howard Hinnant's days_from_civil.
    const int64 y = m <= 2 ? year - 1 : year;
    const int64 era = (y >= 0 ? y : y - 399) / 400;
    const int64 yoe = y - era * 400;
    const int64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5;
    const int64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + (day - 1);
}

// The day number of a date split into three parts at "/"; false when it is no date.
bool DayOf(const PMString& date, int64* days) {
    std::vector<PMString> parts = CVUtils::Split(date, u'/', kFalse);
    if (parts.size() != 3) return false;
    *days = DaysFromCivil(parts[0].GetAsNumber(), parts[1].GetAsNumber(), parts[2].GetAsNumber());
    return true;
}

RGBColor EntryColor(const BRNDeadlineColor& c, const RGBColor& fallback) {
    if (c.red < -0.00000001) return fallback;
    return {c.red, c.green, c.blue};
}
} // namespace

// Hours from the reference time to 00:00 of the planned date on the local wall clock: a
// calendar day is 24 hours, also across a change of daylight-saving time, so that a table's
// thresholds mean whole days in every season. Computed in 64 bits and clamped to 32.
int32 BRNDeadline::GetHoursLeft() const {
    int64 planned = 0;
    if (!DayOf(PlannedDate, &planned)) return 0;
    int64 reference = 0, secondsIntoDay = 0;
    if (!DayOf(ExecutedDate, &reference)) {
        GlobalTime now;
        now.CurrentTime();
        int32 y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
        now.GetTime(&y, &mo, &d, &h, &mi, &sec);
        reference = DaysFromCivil(y, mo, d);
        secondsIntoDay = int64(h) * 3600 + int64(mi) * 60 + sec;
    }
    const int64 seconds = (planned - reference) * 86400 - secondsIntoDay;
    const int64 hours = seconds / 3600; // truncated toward zero
    return static_cast<int32>(std::clamp<int64>(hours, std::numeric_limits<int32>::min(),
                                                std::numeric_limits<int32>::max()));
}

RGBColor BRNDeadline::GetDeadlineColor(bool* entryApplied) const {
    const RGBColor fallback = UIColors::GetDefaultBoxColor();
    RGBColor color = fallback;
    bool applied = false;
    const bool plannedSet = !PlannedDate.IsEmpty();
    const bool executedSet = !ExecutedDate.IsEmpty();
    const int32 hoursLeft = plannedSet ? GetHoursLeft() : 0;
    int64 best = 99999;
    for (const BRNDeadlineColor& c : Colors) {
        if ((c.wantsPlanned != 0) != plannedSet || (c.wantsExecuted != 0) != executedSet) continue;
        if (!plannedSet) {
            color = EntryColor(c, fallback);
            applied = true;
            continue;
        }
        if (c.hours == -9999) continue;
        int64 d = static_cast<int64>(c.hours) - hoursLeft;
        if (d >= 0 && d < best) {
            color = EntryColor(c, fallback);
            applied = true;
            best = d;
        }
    }
    if (entryApplied) *entryApplied = applied;
    return color;
}

PMString BRNDeadline::GetTooltip() const {
    PMString t("Planned for: ");
    t.Append(PlannedDate);
    t.Append("\nExecuted on: ");
    t.Append(ExecutedDate);
    t.Append("\nExecuted by: ");
    t.Append(ExecutedBy);
    t.Append("\n");
    t.SetTranslatable(kFalse);
    return t;
}
