// Base of action components: states stay as the host gave them.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "ui/IActionComponent.h"

class CActionComponent : public CPMUnknown<IActionComponent> {
public:
    explicit CActionComponent(Boss* boss) : CPMUnknown<IActionComponent>(boss) {}
    void UpdateActionStates(ActionStateList*) override {}
};
