// The host's menu: the actions plug-ins registered, each with its menu text and the class of
// the component that carries it out. Filled when the plug-in registers (Host::Start clears it).
#pragma once

#include "base/PMString.h"
#include "ui/IActionComponent.h"

#include <string>
#include <vector>

struct ActionEntry {
    ActionID id = 0;
    std::string name; // the short name a shell or script chooses it by
    PMString menuText;
    ClassID component = kInvalidClass;
};

namespace ActionRegistry {
// Adds the action; one of the same ID registered before is replaced.
void Register(ActionEntry entry);
void Clear();
const std::vector<ActionEntry>& All();
const ActionEntry* Find(const std::string& name);
// The component carries out the action. False when the action is not registered or its
// component cannot be made.
bool Do(ActionID id);
// Every registered action as enabled, then updated by the components, each component once.
ActionStateList States();
} // namespace ActionRegistry
