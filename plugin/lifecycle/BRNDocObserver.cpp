#include "lifecycle/BRNDocObserver.h"

#include "BRNID.h"
#include "CVLog.h"
#include "base/WLocaleSetting.h"
#include "commands/ICommand.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryReference.h"
#include "files/IBRNPrefs.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "subjects/ISubject.h"

namespace {

ISubject* QueryDocumentSubject(IPMUnknown* self) {
    return static_cast<ISubject*>(self->QueryInterface(IID_ISUBJECT));
}

ISubject* QueryWorkspaceSubject(IPMUnknown* self) {
    InterfacePtr<IDocument> doc(self, IID_IDOCUMENT);
    if (!doc) return nullptr;
    return Instantiate<ISubject>(doc->GetDocWorkSpace(), IID_ISUBJECT);
}

void ChangeOnPrefs(ClassID change, PMIID protocol, void* changer) {
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    InterfacePtr<ISubject> subject(prefs, IID_ISUBJECT);
    if (!subject) {
        CV_LOG_FAILED();
        return;
    }
    subject->Change(change, protocol, changer);
}

} // namespace

void BRNDocObserver::AutoAttach() {
    CObserver::AutoAttach();
    InterfacePtr<ISubject> doc(QueryDocumentSubject(this));
    if (doc && !doc->IsAttached(this, IID_IDOCCOMMANDNOTIFY, IID_IBRNDOCOBSERVER))
        doc->AttachObserver(this, IID_IDOCCOMMANDNOTIFY, IID_IBRNDOCOBSERVER);
    InterfacePtr<ISubject> workspace(QueryWorkspaceSubject(this));
    if (workspace && !workspace->IsAttached(this, IID_IBRNDOCPREFS, IID_IBRNDOCOBSERVER))
        workspace->AttachObserver(this, IID_IBRNDOCPREFS, IID_IBRNDOCOBSERVER);
}

void BRNDocObserver::AutoDetach() {
    CObserver::AutoDetach();
    InterfacePtr<ISubject> doc(QueryDocumentSubject(this));
    if (doc && doc->IsAttached(this, IID_IDOCCOMMANDNOTIFY, IID_IBRNDOCOBSERVER))
        doc->DetachObserver(this, IID_IDOCCOMMANDNOTIFY, IID_IBRNDOCOBSERVER);
    InterfacePtr<ISubject> workspace(QueryWorkspaceSubject(this));
    if (workspace && workspace->IsAttached(this, IID_IBRNDOCPREFS, IID_IBRNDOCOBSERVER))
        workspace->DetachObserver(this, IID_IBRNDOCPREFS, IID_IBRNDOCOBSERVER);
}

void BRNDocObserver::Broadcast() {
    ChangeOnPrefs(kBRNDocChangedMessage, IID_IBRNDOCCHANGE, this);
}

void BRNDocObserver::Update(const ClassID& theChange, ISubject*, const PMIID& protocol, void* changedBy) {
    if (protocol != IID_IDOCCOMMANDNOTIFY || !changedBy) return;
    ICommand* cmd = static_cast<ICommand*>(changedBy);
    const ClassID cls = ::GetClass(cmd);
    const bool before = theChange == kBeforeDoMessage, after = theChange == kAfterDoMessage;
    const UIDRef document = GetUIDRef(this);
    const uint16 product = WLocaleSetting::GetLocale().GetProductFS() >> 8;
    if (after && cls == kAssignmentChangedCmdBoss) {
        Broadcast();
    } else if (before && cls == kCheckInStoryCmdBoss) {
        const UIDList* items = cmd->GetItemList();
        if (items && !items->IsEmpty()) BRNPackageUtils::CheckRequiredFields(*items, 2, kFalse);
    } else if (after && (cls == kCheckInStoryCmdBoss || cls == kCheckOutStoryCmdBoss ||
                         cls == kCancelCheckOutStoryCmdBoss)) {
        Broadcast();
    } else if (after && cls == kUpdateStoryFromFileCmdBoss && (product == 0x02 || product == 0xFF)) {
        BRNPackageUtils::UpgradeDocumentPackages(document, kFalse);
        Broadcast();
    } else if (after && (cls == kPlaceStoryFileCmdBoss || cls == kImportAssignmentCmdBoss ||
                         cls == kUpdateAssignmentCmdBoss)) {
        BRNPackageUtils::UpgradeDocumentPackages(document, kTrue);
        Broadcast();
    } else if (before && cls == kRelinkStoryCmdBoss) {
        fStories = UIDList(document.GetDataBase());
        if (const UIDList* items = cmd->GetItemList()) {
            for (int32 i = 0; i < items->Length(); ++i) {
                InterfacePtr<IStoryReference> link(Instantiate<IStoryReference>(items->GetRef(i)));
                if (link) fStories.Append(link->GetStoryUID());
            }
        }
    } else if (after && cls == kRelinkStoryCmdBoss) {
        for (int32 i = 0; i < fStories.Length(); ++i) {
            const UIDRef story = fStories.GetRef(i);
            const BRNPackageList packages = BRNPackageUtils::ReadPackages(story);
            if (!packages.empty()) BRNPackageUtils::StorePackages(UIDList(story), packages, kFalse, kFalse);
        }
        fStories = UIDList(document.GetDataBase());
        Broadcast();
    }
}

void BRNDocObserver::LazyUpdate(ISubject*, const PMIID& protocol, const LazyNotificationData*) {
    if (protocol != IID_IBRNDOCPREFS) return;
    ChangeOnPrefs(kBRNDocPrefsLazyMessage, kBRNProtocol, this);
}
