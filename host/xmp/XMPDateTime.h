// An XMP date-time value.
#pragma once

#include "base/PMTypes.h"

struct XMPDateTime {
    int32 year = 0;
    int32 month = 0;
    int32 day = 0;
    int32 hour = 0;
    int32 minute = 0;
    int32 second = 0;
    int32 tzSign = 0; // -1 west of UTC, 0 UTC, +1 east of UTC
    int32 tzHour = 0;
    int32 tzMinute = 0;
    int32 nanoSecond = 0;
    friend bool operator==(const XMPDateTime&, const XMPDateTime&) = default;
};
