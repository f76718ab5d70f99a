// The concrete suite of a layout selection: the stories of the selected text frames, each
// once, in selection order.
#pragma once

#include "service/BRNSuiteCSB.h"

class BRNSuiteLayoutCSB : public BRNSuiteCSB {
public:
    explicit BRNSuiteLayoutCSB(Boss* boss) : BRNSuiteCSB(boss) {}
    void GetStoryList(UIDList& stories) override;
};
