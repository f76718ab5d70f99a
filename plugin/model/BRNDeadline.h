// The record a Deadline field keeps: planned and executed dates, who did it, and the
// colour table of its package.
#pragma once

#include "base/PMString.h"
#include "model/BRNDeadlineColor.h"
#include "ui/UIColors.h"

#include <vector>

class BRNDeadline {
public:
    BRNDeadline() = default;
    BRNDeadline(PMString planned, PMString executed, PMString executedBy)
        : PlannedDate(std::move(planned)), ExecutedDate(std::move(executed)), ExecutedBy(std::move(executedBy)) {}
    virtual ~BRNDeadline() = default;
    BRNDeadline(const BRNDeadline&) = default;
    BRNDeadline& operator=(const BRNDeadline&) = default;

    // Whole hours from the reference time (00:00 of the executed date, or now when it is not
    // a date) to 00:00 of the planned date; 0 when the planned date is not a date.
    int32 GetHoursLeft() const;
    // The colour of the deadline's box from its colour table; entryApplied, when given, tells
    // whether an entry of the table chose it (its colour may still be the default one).
    RGBColor GetDeadlineColor(bool* entryApplied = nullptr) const;
    // "Planned for: ...\nExecuted on: ...\nExecuted by: ...\n"
    PMString GetTooltip() const;

    PMString PlannedDate;
    PMString ExecutedDate;
    PMString ExecutedBy;
    std::vector<BRNDeadlineColor> Colors;

    friend bool operator==(const BRNDeadline& a, const BRNDeadline& b) {
        return a.PlannedDate == b.PlannedDate && a.ExecutedDate == b.ExecutedDate &&
               a.ExecutedBy == b.ExecutedBy && a.Colors == b.Colors;
    }
};
