// What the concrete selection suites share: everything is answered from the selection's story
// list, which each suite derives from its own kind of selection.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "service/IBRNSuite.h"

class BRNSuiteCSB : public CPMUnknown<IBRNSuite> {
public:
    explicit BRNSuiteCSB(Boss* boss) : CPMUnknown<IBRNSuite>(boss) {}

    bool16 IsStorySelected() override;
    bool16 IsStoryAssigned() override;
    int32 GetSelectionStatus() override;
    int32 GetSelectedStory(UIDRef& story, bool16& locked, bool16& exported) override;
    int32 GetSelectedAssignment(UIDRef& document, int32& index, bool16& unassigned) override;
    bool16 IsSingleStorySelected() override;
    int32 UpdateSelectedStory() override;
    int32 GetStoryStatus(const UIDRef& story, bool16& locked, bool16& exported) override;
};
