// Told when a widget model changes: its value, its check state, its list or a click.
#pragma once

#include "base/PMTypes.h"

class WidgetModel;

class IWidgetObserver {
public:
    enum Change { kValueChanged, kStateChanged, kListChanged, kClicked };
    virtual ~IWidgetObserver() = default;
    virtual void WidgetChanged(WidgetModel& widget, Change change) = 0;
};
