#include "metadata/BRNSetXMPDataCmd.h"

#include "CVLog.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "metadata/BRNXMPSchema.h"
#include "metadata/IBRNDocPrefs.h"
#include "metadata/IBRNSetXMPCmdData.h"
#include "objectmodel/HostIDs.h"
#include "objectmodel/InterfacePtr.h"
#include "subjects/ISubject.h"
#include "ui/BRNPanelData.h"
#include "xmp/IXMPPacketAccess.h"

namespace {

// The file a story is known by: its own, or its link resource's when there is one.
IDFile StoryFile(IStoryData* story) {
    IDFile file = story->GetStoryFile();
    IDFile linked;
    if (story->ResolveLinkResource(&linked))
        file = linked;
    else if (!story->GetLinkResource().IsEmpty())
        file = IDFile(story->GetLinkResource());
    return file;
}

BRNXMPDocumentInfo DocumentInfo(IDocument* doc) {
    BRNXMPDocumentInfo info;
    info.isTemplate = doc->IsTemplate() != 0;
    InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
    if (!assignments) return info;
    IDataBase* db = doc->GetDocumentDataBase();
    for (int32 i = 0; i < assignments->GetAssignmentCount(); ++i) {
        Assignment a = assignments->GetNthAssignment(i);
        BRNAssignmentRecord record{a.name, a.user, a.file, {}};
        for (UID uid : a.stories) {
            InterfacePtr<IStoryData> story(Instantiate<IStoryData>(db, uid));
            if (story) record.stories.push_back({story->GetName(), StoryFile(story)});
        }
        info.assignments.push_back(std::move(record));
    }
    return info;
}

} // namespace

BRNSetXMPDataCmd::BRNSetXMPDataCmd(Boss* boss) : Command(boss), fNamespace(BRNXMPSchema::CurrentNamespace()) {
    SetName(PMString("BRNSetXMPDataCmd"));
}

bool16 BRNSetXMPDataCmd::CanJoin(ICommand* other) {
    return other && other->GetName() == GetName() ? kTrue : kFalse;
}

PMString BRNSetXMPDataCmd::MakeUndoName() {
    return PMString("0xA8260kBRNSetXMPMetaDataCmdStringKey");
}

void BRNSetXMPDataCmd::Do() {
    CV_TRACE("BRNSetXMPDataCmd::Do");
    const UIDList* items = GetItemList();
    if (!items || !items->GetDataBase() || items->IsEmpty()) {
        CV_LOG(20, "The itemList is nil or empty");
        CV_RETURN_FAILED();
    }
    InterfacePtr<IBRNSetXMPCmdData> data(this, IID_IBRNSETXMPCMDDATA);
    if (!data) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    BRNXMPWriteRequest request;
    request.deletePackages = data->GetDeletePackages() != 0;
    request.singleField = data->GetSingleField() != 0;
    request.purgeLegacy = data->GetPurgeLegacy() != 0;
    request.packages = data->GetPackages();
    request.field = data->GetField();

    IDataBase* db = items->GetDataBase();
    for (UID item : *items) {
        // A text frame or a story link stands for its story.
        UID uid = item;
        if (db->GetClass(item) != kDocBoss && db->GetClass(item) != kStoryBoss) {
            uid = ResolveStoryUID(db, item);
            if (uid == kInvalidUID) {
                CV_LOG_FAILED();
                CV_RETURN_FAILED();
            }
        }
        InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(db, uid));
        if (!xmp) {
            CV_LOG_FAILED();
            CV_RETURN_FAILED();
        }
        if (InterfacePtr<IDocument> doc(Instantiate<IDocument>(db, uid)); doc) {
            InterfacePtr<IBRNDocPrefs> prefs(Instantiate<IBRNDocPrefs>(doc->GetDocWorkSpace()));
            if (!prefs) {
                CV_LOG_FAILED();
                CV_RETURN_FAILED();
            }
            BRNXMPDocumentInfo info = DocumentInfo(doc);
            BRNXMPSchema::Write(xmp, request, &info);
        } else if (InterfacePtr<IStoryData> story(Instantiate<IStoryData>(db, uid)); story) {
            InterfacePtr<IBRNDocPrefs> prefs(story, IID_IBRNDOCPREFS);
            if (!prefs) {
                CV_LOG_FAILED();
                CV_RETURN_FAILED();
            }
            BRNXMPSchema::Write(xmp, request, nullptr);
        } else {
            CV_LOG_FAILED();
            CV_RETURN_FAILED();
        }
    }
    CV_RETURN_VOID();
}

void BRNSetXMPDataCmd::NotifyAfterDo() {
    CV_TRACE("BRNSetXMPDataCmd::NotifyAfterDo");
    const UIDList* items = GetItemList();
    IDataBase* db = items ? items->GetDataBase() : nullptr;
    if (!db) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(db, db->GetRootUID()));
    if (!doc) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    UIDRef workspace = doc->GetDocWorkSpace();
    InterfacePtr<IBRNDocPrefs> prefs(Instantiate<IBRNDocPrefs>(workspace));
    InterfacePtr<ISubject> subject(Instantiate<ISubject>(workspace));
    if (!prefs || !subject) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    // Marked first: the document observer then knows this change is handled here.
    prefs->SetState(1);
    subject->Change(kBRNDocPrefsChangedMessage, IID_IBRNDOCPREFS, static_cast<ICommand*>(this));
    // The open panel shows what was just written.
    BRNPanelData::TellPanel(kBRNRefreshMessage, static_cast<ICommand*>(this));
    CV_RETURN_VOID();
}
