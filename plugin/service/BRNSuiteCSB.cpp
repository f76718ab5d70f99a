#include "service/BRNSuiteCSB.h"

#include "CVLog.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "objectmodel/InterfacePtr.h"
#include "service/BRNAssignmentHelper.h"
#include "service/IBrindle.h"
#include "session/Utils.h"

bool16 BRNSuiteCSB::IsStorySelected() {
    UIDList stories;
    GetStoryList(stories);
    return stories.IsEmpty() ? kFalse : kTrue;
}

bool16 BRNSuiteCSB::IsStoryAssigned() {
    UIDRef document;
    int32 index = -1;
    bool16 unassigned = kTrue;
    return GetSelectedAssignment(document, index, unassigned) == 0 ? kTrue : kFalse;
}

int32 BRNSuiteCSB::GetSelectionStatus() {
    UIDList stories;
    GetStoryList(stories);
    if (stories.IsEmpty()) return 0;
    bool16 firstLocked = kFalse, firstExported = kFalse;
    for (int32 i = 0; i < stories.Length(); ++i) {
        bool16 locked = kFalse, exported = kFalse;
        if (GetStoryStatus(stories.GetRef(i), locked, exported) != 0) return 0;
        if (i == 0) {
            firstLocked = locked;
            firstExported = exported;
        } else if (locked != firstLocked || exported != firstExported) {
            return 0;
        }
    }
    return 1;
}

int32 BRNSuiteCSB::GetSelectedStory(UIDRef& story, bool16& locked, bool16& exported) {
    UIDList stories;
    GetStoryList(stories);
    if (stories.IsEmpty()) return 1;
    story = stories.GetRef(0);
    return GetStoryStatus(story, locked, exported);
}

int32 BRNSuiteCSB::GetSelectedAssignment(UIDRef& document, int32& index, bool16& unassigned) {
    CV_TRACE("BRNSuiteCSB::GetSelectedAssignment");
    UIDList stories;
    GetStoryList(stories);
    index = -1;
    unassigned = kFalse;
    if (stories.IsEmpty()) CV_RETURN(1);
    IDataBase* db = stories.GetDataBase();
    InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(db, db->GetRootUID()));
    if (!assignments) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(1);
    }
    index = assignments->FindStory(stories[0]);
    unassigned = index < 0 ? kTrue : kFalse;
    if (index < 0) CV_RETURN(1);
    document = UIDRef(db, db->GetRootUID());
    CV_RETURN(0);
}

bool16 BRNSuiteCSB::IsSingleStorySelected() {
    UIDList stories;
    GetStoryList(stories);
    return GetSelectionStatus() != 0 && stories.Length() == 1 ? kTrue : kFalse;
}

int32 BRNSuiteCSB::UpdateSelectedStory() {
    CV_TRACE("BRNSuiteCSB::UpdateSelectedStory");
    UIDList stories;
    GetStoryList(stories);
    if (stories.Length() != 1) CV_RETURN(1);
    IDataBase* db = stories.GetDataBase();
    Utils<IBrindle> brindle;
    if (!brindle || !db->IsValidUID(db->GetRootUID())) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(1);
    }
    CV_RETURN(brindle->UpdateStoryFromDocument(stories.GetRef(0), UIDRef(db, db->GetRootUID())) == kSuccess ? 0
                                                                                                         : 1);
}

int32 BRNSuiteCSB::GetStoryStatus(const UIDRef& story, bool16& locked, bool16& exported) {
    return BRNAssignmentHelper::GetStoryStatus(story, &locked, &exported);
}
