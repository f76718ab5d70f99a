// The deadline box: the widget's colour as the fill, its text over it in the enabled or
// disabled text colour. Faces draw what Draw describes.
#pragma once

#include "ui/UIColors.h"
#include "ui/WidgetModel.h"

class BRNTextColorBackgroundCustomView {
public:
    struct Drawing {
        RGBColor fill;
        RGBColor textColor;
        PMString text;
    };
    static Drawing Draw(const WidgetModel& widget);
    // Stores the colour (0..1 per channel) in the widget, as the panel does with the
    // deadline's colour.
    static void SetColor(WidgetModel& widget, const RGBColor& color);
    static RGBColor GetColor(const WidgetModel& widget);
    static const RGBColor kEnabledTextColor;
    static const RGBColor kDisabledTextColor;
};
