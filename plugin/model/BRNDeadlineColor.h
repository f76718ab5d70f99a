// One entry of a deadline colour table.
#pragma once

#include "base/PMTypes.h"

class BRNDeadlineColor {
public:
    bool16 wantsPlanned = 0;  // 1: only when the planned date is set; 0: only when it is empty
    bool16 wantsExecuted = 0; // the same for the executed date
    int32 hours = -9999;      // upper bound of the hours left; -9999: no threshold
    double red = -1.0;        // below zero: the default colour
    double green = -1.0;
    double blue = -1.0;

    friend bool operator==(const BRNDeadlineColor&, const BRNDeadlineColor&) = default;
};
