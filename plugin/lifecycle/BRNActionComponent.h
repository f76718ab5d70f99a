// The plug-in's menu actions: about, the package library's actions on the panel's current
// package, the use-latest-package switch and the panel's refresh.
#pragma once

#include "ui/CActionComponent.h"

class BRNActionComponent : public CActionComponent {
public:
    explicit BRNActionComponent(Boss* boss) : CActionComponent(boss) {}
    void DoAction(ActionID actionID) override;
    void UpdateActionStates(ActionStateList* list) override;

    // The menu entries, registered with the host's menu when the plug-in registers.
    static void RegisterActions();
};
