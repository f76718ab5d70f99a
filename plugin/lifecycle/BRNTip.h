// The tip of the plug-in's panel widget: the widget's own text.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "ui/ITip.h"

class BRNTip : public CPMUnknown<ITip> {
public:
    explicit BRNTip(Boss* boss) : CPMUnknown<ITip>(boss) {}
    PMString GetTipText() override;
};
