// The host's user-interface colour service.
#pragma once

struct RGBColor {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    friend bool operator==(const RGBColor&, const RGBColor&) = default;
};

namespace UIColors {
// The standard fill of a small box in a panel (a light grey).
RGBColor GetDefaultBoxColor();
} // namespace UIColors
