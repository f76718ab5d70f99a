// Menu actions. A plug-in registers each of its actions with the host (ActionRegistry) under
// an action ID, with the class of the component that carries it out; the host asks the
// component to do the action when it is chosen, and to update the actions' states before the
// menu is shown.
#pragma once

#include "objectmodel/IPMUnknown.h"

#include <utility>
#include <vector>

// The actions a menu is about to show, each with its state. A state is a set of flags.
class ActionStateList {
public:
    enum : int16 { kDisabled = 0, kEnabledAction = 1, kSelectedAction = 2 };
    void Add(ActionID action, int16 state) { fEntries.emplace_back(action, state); }
    int32 Length() const { return static_cast<int32>(fEntries.size()); }
    ActionID GetNthAction(int32 n) const { return fEntries[static_cast<size_t>(n)].first; }
    int16 GetNthActionState(int32 n) const { return fEntries[static_cast<size_t>(n)].second; }
    void SetNthActionState(int32 n, int16 state) { fEntries[static_cast<size_t>(n)].second = state; }

private:
    std::vector<std::pair<ActionID, int16>> fEntries;
};

class IActionComponent : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IACTIONCOMPONENT };
    virtual void DoAction(ActionID actionID) = 0;
    // Changes the states of the listed actions that the component knows better than the host.
    virtual void UpdateActionStates(ActionStateList* list) = 0;
};
