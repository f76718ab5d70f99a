#include "service/BRNSuiteASB.h"

#include "BRNID.h"
#include "CVLog.h"
#include "documents/HostSelection.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"

bool BRNSuiteASB::ForEachActive(const std::function<void(IBRNSuite*)>& call) {
    ClassID suite = kInvalidClass;
    switch (Host::GetSelectionKind()) {
    case Host::SelectionKind::kLayout:
        suite = kBRNSuiteLayoutBoss;
        break;
    case Host::SelectionKind::kText:
        suite = kBRNSuiteTextBoss;
        break;
    case Host::SelectionKind::kGalley:
        suite = kBRNSuiteGalleyBoss;
        break;
    case Host::SelectionKind::kNone:
        return false;
    }
    InterfacePtr<IBRNSuite> concrete(static_cast<IBRNSuite*>(CreateObject(suite, IID_IBRNSUITE)));
    if (!concrete) {
        CV_LOG_FAILED();
        return false;
    }
    call(concrete.get());
    return true;
}

bool16 BRNSuiteASB::IsStorySelected() {
    bool16 any = kFalse;
    ForEachActive([&](IBRNSuite* s) { any = any || s->IsStorySelected(); });
    return any;
}

bool16 BRNSuiteASB::IsStoryAssigned() {
    bool16 any = kFalse;
    ForEachActive([&](IBRNSuite* s) { any = any || s->IsStoryAssigned(); });
    return any;
}

int32 BRNSuiteASB::GetSelectionStatus() {
    int32 result = 0;
    ForEachActive([&](IBRNSuite* s) { result = s->GetSelectionStatus(); });
    return result;
}

int32 BRNSuiteASB::GetSelectedStory(UIDRef& story, bool16& locked, bool16& exported) {
    int32 result = 1;
    ForEachActive([&](IBRNSuite* s) { result = s->GetSelectedStory(story, locked, exported); });
    return result;
}

int32 BRNSuiteASB::GetSelectedAssignment(UIDRef& document, int32& index, bool16& unassigned) {
    int32 result = 1;
    ForEachActive([&](IBRNSuite* s) { result = s->GetSelectedAssignment(document, index, unassigned); });
    return result;
}

bool16 BRNSuiteASB::IsSingleStorySelected() {
    bool16 any = kFalse;
    ForEachActive([&](IBRNSuite* s) { any = any || s->IsSingleStorySelected(); });
    return any;
}

int32 BRNSuiteASB::UpdateSelectedStory() {
    int32 result = 1;
    ForEachActive([&](IBRNSuite* s) { result = s->UpdateSelectedStory(); });
    return result;
}

int32 BRNSuiteASB::GetStoryStatus(const UIDRef&, bool16&, bool16&) {
    return 1;
}

void BRNSuiteASB::GetStoryList(UIDList& stories) {
    stories = UIDList();
}

UIDList BRNSuiteASB::SelectionStories() {
    UIDList stories;
    ForEachActive([&](IBRNSuite* s) { s->GetStoryList(stories); });
    return stories;
}
