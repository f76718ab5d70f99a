// The concrete suite of a text focus in the layout: the one story the focus is in.
#pragma once

#include "service/BRNSuiteCSB.h"

class BRNSuiteTextCSB : public BRNSuiteCSB {
public:
    explicit BRNSuiteTextCSB(Boss* boss) : BRNSuiteCSB(boss) {}
    bool16 IsStorySelected() override;
    void GetStoryList(UIDList& stories) override;
};
