#include "service/BRNAssignmentHelper.h"

#include "CVLog.h"
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "objectmodel/InterfacePtr.h"

int32 BRNAssignmentHelper::GetStoryStatus(const UIDRef& story, bool16* locked, bool16* exported) {
    CV_TRACE("BRNAssignmentHelper::GetStoryStatus");
    IDataBase* db = story.GetDataBase();
    UID uid = ResolveStoryUID(db, story.GetUID());
    InterfacePtr<IStoryData> data(Instantiate<IStoryData>(db, uid));
    // Without a lock state the story's status cannot be told.
    if (!data || !data->IsLockKnown()) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(1);
    }
    if (locked) *locked = data->IsLocked();
    if (!exported) CV_RETURN(0);
    // A story file opened on its own is judged as the text-editing edition judges it.
    if (Host::GetDocumentEdition(UIDRef(db, db->GetRootUID())) == HostConfig::Edition::kLayout) {
        *exported = data->IsExportedForTextEditing();
        CV_RETURN(0);
    }
    // In the text editor a story is handed out when an assignment of its document holds it;
    // a document without an assignment list is taken as handing out all its stories.
    InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(db, db->GetRootUID()));
    // An empty list (a story file opened on its own) hands out nothing and holds nothing back.
    *exported = !assignments || assignments->GetAssignmentCount() == 0 || assignments->FindStory(uid) >= 0
                    ? kTrue
                    : kFalse;
    CV_RETURN(0);
}

bool16 BRNAssignmentHelper::IsStoryEditable(const UIDRef& story) {
    bool16 locked = kTrue, exported = kFalse;
    if (GetStoryStatus(story, &locked, &exported) != 0) return kFalse;
    return !locked && exported ? kTrue : kFalse;
}

UIDList BRNAssignmentHelper::GetAssignmentStories(const UIDRef& document) {
    CV_TRACE("BRNAssignmentHelper::GetAssignmentStories");
    UIDList stories(document.GetDataBase());
    InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(document));
    if (!assignments) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(stories);
    }
    for (int32 i = 0; i < assignments->GetAssignmentCount(); ++i)
        for (UID uid : assignments->GetNthAssignment(i).stories)
            if (!stories.Contains(uid)) stories.Append(uid);
    CV_RETURN(stories);
}
