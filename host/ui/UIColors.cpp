#include "ui/UIColors.h"

namespace UIColors {
RGBColor GetDefaultBoxColor() { return {0.85, 0.85, 0.85}; }
} // namespace UIColors
