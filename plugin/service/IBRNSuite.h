// The selection suite: what the panel asks of the current selection. The host's selection
// architecture answers through the abstract suite (BRNSuiteASB), which forwards the first
// seven operations to the concrete suite of the active selection kind: page items in the
// layout (BRNSuiteLayoutCSB), a text focus in the layout (BRNSuiteTextCSB) or in the galley
// and story views (BRNSuiteGalleyCSB).
//
// Status results: 0 when the story's status was read, 1 when it could not be (the story has
// no lock state), as BRNAssignmentHelper::GetStoryStatus.
#pragma once

#include "BRNID.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDList.h"

class IBRNSuite : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IBRNSUITE };

    // A story is selected: the layout selection shows one, or the text focus is in one (an
    // error is logged when the focus gives none).
    virtual bool16 IsStorySelected() = 0;
    // The selected story is held by one of its document's assignments.
    virtual bool16 IsStoryAssigned() = 0;
    // 1 when the status of every selected story could be read and all agree (locked and
    // exported alike); 0 otherwise, and when nothing is selected.
    virtual int32 GetSelectionStatus() = 0;
    // The (first) selected story and its status; the status test's result.
    virtual int32 GetSelectedStory(UIDRef& story, bool16& locked, bool16& exported) = 0;
    // The assignment that holds the selected story: 0, the document in `document`, its index
    // in the document's assignment list in `index` and `unassigned` cleared; 1 otherwise
    // (`unassigned` set when there is a story but no assignment holds it).
    virtual int32 GetSelectedAssignment(UIDRef& document, int32& index, bool16& unassigned) = 0;
    // Exactly one story whose status can be read is selected.
    virtual bool16 IsSingleStorySelected() = 0;
    // Copies the document's values into the one selected story (IBrindle::UpdateStoryFromDocument);
    // 1 when there is not exactly one story or its document is not open.
    virtual int32 UpdateSelectedStory() = 0;
    // The concrete suites' own: the status of one story, and the selection's story list.
    virtual int32 GetStoryStatus(const UIDRef& story, bool16& locked, bool16& exported) = 0;
    virtual void GetStoryList(UIDList& stories) = 0;
};
