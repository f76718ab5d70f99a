#include "documents/HostSelection.h"

#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "subjects/IDocumentSignalData.h"
#include "subjects/IResponder.h"
#include "subjects/ISignalMgr.h"
#include "subjects/ResponderRegistry.h"

namespace {

// Holds the selection and forgets it when its document is about to close. The responder
// registry owns it, so a new start of the host (which empties the registry) ends it too:
// no selection can outlive the documents it names.
class SelectionKeeper final : public CStandaloneUnknown<IResponder> {
public:
    ~SelectionKeeper() override;
    void Respond(ISignalMgr* signal) override {
        InterfacePtr<IDocumentSignalData> data(signal, IID_IDOCUMENTSIGNALDATA);
        if (data && data->GetDocument().GetDataBase() == fStories.GetDataBase()) fStories = UIDList();
    }
    UIDList fStories;
};

SelectionKeeper* gKeeper = nullptr;

SelectionKeeper::~SelectionKeeper() {
    if (gKeeper == this) gKeeper = nullptr;
}

SelectionKeeper* Keeper() {
    if (!gKeeper) {
        gKeeper = new SelectionKeeper();
        ResponderRegistry::Register(kBeforeCloseDocSignalResponderService, gKeeper);
        gKeeper->Release(); // the registry's reference is the only one
    }
    return gKeeper;
}

IDocument* OpenDocumentOf(IDataBase* db) {
    IDocumentList* list = db ? Host::GetDocumentList() : nullptr;
    if (!list) return nullptr;
    for (int32 i = 0; i < list->GetDocCount(); ++i)
        if (IDocument* doc = list->GetNthDoc(i); doc && doc->GetDocumentDataBase() == db) return doc;
    return nullptr;
}

bool AllStories(const UIDList& list) {
    IDataBase* db = list.GetDataBase();
    for (UID uid : list)
        if (!db->IsValidUID(uid) || db->GetClass(uid) != kStoryBoss) return false;
    return true;
}

} // namespace

namespace Host {

bool SetSelectedStories(const UIDList& stories) {
    IDocument* doc = OpenDocumentOf(stories.GetDataBase());
    if (stories.IsEmpty() || !doc || !AllStories(stories)) {
        if (gKeeper) gKeeper->fStories = UIDList();
        return false;
    }
    Keeper()->fStories = stories;
    SetFrontDocument(doc);
    return true;
}

UIDList GetSelectedStories() {
    if (!gKeeper || gKeeper->fStories.IsEmpty()) return {};
    IDocument* front = GetFrontDocument();
    if (!front || front->GetDocumentDataBase() != gKeeper->fStories.GetDataBase()) return {};
    UIDList stories(gKeeper->fStories.GetDataBase());
    // Stories deleted since the selection was made are no longer part of it.
    IDataBase* db = stories.GetDataBase();
    for (UID uid : gKeeper->fStories)
        if (db->IsValidUID(uid) && db->GetClass(uid) == kStoryBoss) stories.Append(uid);
    return stories;
}

} // namespace Host
