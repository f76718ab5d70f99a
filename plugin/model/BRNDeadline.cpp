#include "model/BRNDeadline.h"

#include "base/GlobalTime.h"
#include "CVUtils.h"

namespace {
// 00:00:00 local time of a date split into three parts; false when it is no date.
bool Midnight(const PMString& date, GlobalTime* t) {
    std::vector<PMString> parts = CVUtils::Split(date, u'/', kFalse);
    if (parts.size() != 3) return false;
    return t->SetTime(parts[0].GetAsNumber(), parts[1].GetAsNumber(), parts[2].GetAsNumber(), 0, 0, 0);
}

RGBColor EntryColor(const BRNDeadlineColor& c, const RGBColor& fallback) {
    if (c.red < -0.00000001) return fallback;
    return {c.red, c.green, c.blue};
}
} // namespace

int32 BRNDeadline::GetHoursLeft() const {
    GlobalTime planned;
    if (!Midnight(PlannedDate, &planned)) return 0;
    GlobalTime reference;
    if (!Midnight(ExecutedDate, &reference)) reference.CurrentTime();
    int64 ticks = static_cast<int64>(planned.GetTime()) - static_cast<int64>(reference.GetTime());
    int64 seconds = ticks / static_cast<int64>(GlobalTime::kTicksPerSecond);
    return static_cast<int32>(seconds / 3600);
}

RGBColor BRNDeadline::GetDeadlineColor() const {
    const RGBColor fallback = UIColors::GetDefaultBoxColor();
    RGBColor color = fallback;
    const bool plannedSet = !PlannedDate.IsEmpty();
    const bool executedSet = !ExecutedDate.IsEmpty();
    const int32 hoursLeft = plannedSet ? GetHoursLeft() : 0;
    int64 best = 99999;
    for (const BRNDeadlineColor& c : Colors) {
        if ((c.wantsPlanned != 0) != plannedSet || (c.wantsExecuted != 0) != executedSet) continue;
        if (!plannedSet) {
            color = EntryColor(c, fallback);
            continue;
        }
        if (c.hours == -9999) continue;
        int64 d = static_cast<int64>(c.hours) - hoursLeft;
        if (d >= 0 && d < best) {
            color = EntryColor(c, fallback);
            best = d;
        }
    }
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
