// The abstract selection suite: each operation runs on the concrete suites of the active
// selection kind. Boolean answers are true when any of them answers true; operations with
// out-arguments take the answer of the suite that handled the call.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "service/IBRNSuite.h"

#include <functional>

class BRNSuiteASB : public CPMUnknown<IBRNSuite> {
public:
    explicit BRNSuiteASB(Boss* boss) : CPMUnknown<IBRNSuite>(boss) {}

    bool16 IsStorySelected() override;
    bool16 IsStoryAssigned() override;
    int32 GetSelectionStatus() override;
    int32 GetSelectedStory(UIDRef& story, bool16& locked, bool16& exported) override;
    int32 GetSelectedAssignment(UIDRef& document, int32& index, bool16& unassigned) override;
    bool16 IsSingleStorySelected() override;
    int32 UpdateSelectedStory() override;
    // Not forwarded: the concrete suites' own.
    int32 GetStoryStatus(const UIDRef& story, bool16& locked, bool16& exported) override;
    void GetStoryList(UIDList& stories) override;

    // The story list of the active selection, from its concrete suite (for the panel and the
    // package utilities, which need the list itself).
    static UIDList SelectionStories();

private:
    // Runs the call on each concrete suite of the active selection; false when there is none.
    static bool ForEachActive(const std::function<void(IBRNSuite*)>& call);
};
