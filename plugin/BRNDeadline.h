// The record a Deadline field keeps: planned and executed dates, who did it, and the
// colour table of its package.
#pragma once

#include "BRNDeadlineColor.h"
#include "PMString.h"

#include <vector>

class BRNDeadline {
public:
    BRNDeadline() = default;
    BRNDeadline(PMString planned, PMString executed, PMString executedBy)
        : PlannedDate(std::move(planned)), ExecutedDate(std::move(executed)), ExecutedBy(std::move(executedBy)) {}
    virtual ~BRNDeadline() = default;
    BRNDeadline(const BRNDeadline&) = default;
    BRNDeadline& operator=(const BRNDeadline&) = default;

    PMString PlannedDate;
    PMString ExecutedDate;
    PMString ExecutedBy;
    std::vector<BRNDeadlineColor> Colors;

    friend bool operator==(const BRNDeadline& a, const BRNDeadline& b) {
        return a.PlannedDate == b.PlannedDate && a.ExecutedDate == b.ExecutedDate &&
               a.ExecutedBy == b.ExecutedBy && a.Colors == b.Colors;
    }
};
