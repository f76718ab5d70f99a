#include "BRNTextColorBackgroundCustomView.h"

#include <algorithm>
#include <cmath>

const RGBColor BRNTextColorBackgroundCustomView::kEnabledTextColor{0.0, 0.0, 0.0};
const RGBColor BRNTextColorBackgroundCustomView::kDisabledTextColor{0.5, 0.5, 0.5};

namespace {
uint8_t Channel(double v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}
} // namespace

void BRNTextColorBackgroundCustomView::SetColor(WidgetModel& widget, const RGBColor& color) {
    widget.SetColor({Channel(color.red), Channel(color.green), Channel(color.blue)});
}

RGBColor BRNTextColorBackgroundCustomView::GetColor(const WidgetModel& widget) {
    const WidgetColor& c = widget.GetColor();
    return {c.red / 255.0, c.green / 255.0, c.blue / 255.0};
}

BRNTextColorBackgroundCustomView::Drawing BRNTextColorBackgroundCustomView::Draw(const WidgetModel& widget) {
    return {GetColor(widget), widget.IsEnabled() ? kEnabledTextColor : kDisabledTextColor, widget.GetText()};
}
