#include "documents/HostSelection.h"

#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "session/ISession.h"
#include "subjects/ISubject.h"
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
        if (!data) return;
        IDataBase* closing = data->GetDocument().GetDataBase();
        if (closing == fStories.GetDataBase()) fStories = UIDList();
        if (closing == fItems.GetDataBase() || closing == fFocus.GetDataBase()) {
            fKind = Host::SelectionKind::kNone;
            fItems = UIDList();
            fFocus = UIDRef();
        }
    }
    UIDList fStories;
    Host::SelectionKind fKind = Host::SelectionKind::kNone;
    UIDList fItems;
    UIDRef fFocus;
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

// The session's observers (the metadata panel's selection observer) follow the selection.
void TellSelectionChanged() {
    InterfacePtr<ISubject> subject(GetExecutionContextSession(), IID_ISUBJECT);
    if (subject) subject->Change(kSelectionChangedMessage, IID_ISELECTIONMGR, nullptr);
}

void Clear();

bool AllStories(const UIDList& list) {
    IDataBase* db = list.GetDataBase();
    for (UID uid : list)
        if (!db->IsValidUID(uid) || db->GetClass(uid) != kStoryBoss) return false;
    return true;
}

} // namespace

namespace {
void Clear() {
    if (!gKeeper) return;
    gKeeper->fKind = Host::SelectionKind::kNone;
    gKeeper->fItems = UIDList();
    gKeeper->fFocus = UIDRef();
}
} // namespace

namespace Host {

bool SetSelectedStories(const UIDList& stories) {
    IDocument* doc = OpenDocumentOf(stories.GetDataBase());
    if (stories.IsEmpty() || !doc || !AllStories(stories)) {
        if (gKeeper) gKeeper->fStories = UIDList();
        TellSelectionChanged();
        return false;
    }
    Keeper()->fStories = stories;
    SetFrontDocument(doc);
    TellSelectionChanged();
    return true;
}

bool SelectPageItems(const UIDList& items) {
    IDocument* doc = OpenDocumentOf(items.GetDataBase());
    Clear();
    if (items.IsEmpty() || !doc) {
        TellSelectionChanged();
        return false;
    }
    Keeper()->fKind = SelectionKind::kLayout;
    Keeper()->fItems = items;
    SetFrontDocument(doc);
    TellSelectionChanged();
    return true;
}

bool SetTextFocus(const UIDRef& story, bool galley) {
    IDocument* doc = OpenDocumentOf(story.GetDataBase());
    Clear();
    if (!doc) {
        TellSelectionChanged();
        return false;
    }
    Keeper()->fKind = galley ? SelectionKind::kGalley : SelectionKind::kText;
    Keeper()->fFocus = story;
    SetFrontDocument(doc);
    TellSelectionChanged();
    return true;
}

void ClearSelection() {
    Clear();
    TellSelectionChanged();
}

SelectionKind GetSelectionKind() {
    return gKeeper ? gKeeper->fKind : SelectionKind::kNone;
}

UIDList GetSelectedPageItems() {
    return gKeeper && gKeeper->fKind == SelectionKind::kLayout ? gKeeper->fItems : UIDList();
}

UIDRef GetTextFocus() {
    return gKeeper && gKeeper->fKind != SelectionKind::kLayout ? gKeeper->fFocus : UIDRef();
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
