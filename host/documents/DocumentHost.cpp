#include "documents/DocumentHost.h"
#include "documents/StoryWorkflow.h"
#include "documents/FileStories.h"

#include "base/ErrorUtils.h"
#include "documents/HostDocFileHandler.h"
#include "documents/HostDocument.h"
#include "documents/HostDocumentList.h"
#include "documents/HostStoryData.h"
#include "documents/IDataBase.h"
#include "documents/IStoryData.h"
#include "formats/DocFileTypes.h"
#include "formats/XMPFiles.h"
#include "io/FileLock.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "subjects/HostSubject.h"
#include "subjects/ResponderRegistry.h"
#include "xmp/HostXMPPacketAccess.h"
#include "xmp/IXMPPacketAccess.h"

#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace {

enum : ImplementationID {
    kHostDocumentImpl = 0x2101,
    kHostDocSubjectImpl = 0x2102,
    kHostLazySubjectImpl = 0x2103,
    kHostDocFileTypeInfoImpl = 0x2104,
    kHostXMPPacketAccessImpl = 0x2105,
    kHostAssignmentMgrImpl = 0x2106,
    kHostDocCommandNotifyImpl = 0x2107,
    kHostStoryDataImpl = 0x2108,
    kHostStoryReferenceImpl = 0x210B,
    kHostDocFileHandlerImpl = 0x2109,
    kHostDocumentListImpl = 0x210A,
};

std::string gDocumentError;

std::string Quoted(const IDFile& file) {
    return "\"" + file.Path().string() + "\"";
}

bool SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

IDocument* Refuse(std::string* error, const IDFile& file, const std::string& why) {
    SetError(error, "Cannot open " + Quoted(file) + ": " + why);
    return nullptr;
}

// A document in a new database, in the session's list; not signalled yet.
IDocument* MakeDocument(HostDocumentList* list, const IDFile& file, FileTypeInfoID type) {
    auto db = std::make_unique<HostDataBase>();
    UID root = db->NewUID(kDocBoss);
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(db.get(), root));
    auto* host = dynamic_cast<HostDocument*>(doc.get());
    if (!host) return nullptr;
    host->SetWorkSpace(db->NewUID(kDocWorkspaceBoss));
    if (type == kInvalidFileTypeInfoID)
        type = file.IsEmpty() ? kInDesignDocFileTypeInfoID : DocFileTypes::FromFile(file);
    host->SetFile(file, type);
    list->Add(doc.get(), std::move(db));
    return doc.get();
}

IDocFileHandler* HandlerFor(IDocument* doc) {
    auto* handler =
        static_cast<IDocFileHandler*>(CreateObject(doc->GetDocFileHandler(), IID_IDOCFILEHANDLER));
    if (!handler)
        handler = static_cast<IDocFileHandler*>(CreateObject(kHostDocFileHandlerBoss, IID_IDOCFILEHANDLER));
    return handler;
}

bool IsOpen(IDocument* doc) {
    HostDocumentList* list = HostDocumentList::Get();
    return doc && list && list->IsOpen(doc);
}

// Runs a save through the document's handler; the handler reports failure through the global error code.
template <class Run> bool RunSave(IDocument* doc, std::string* error, Run run) {
    if (!IsOpen(doc)) return SetError(error, "The document is not open");
    doc->AddRef();
    InterfacePtr<IDocument> hold(doc);
    InterfacePtr<IDocFileHandler> handler(HandlerFor(doc));
    if (!handler) return SetError(error, "The document has no file handler");
    gDocumentError.clear();
    ErrorUtils::PMSetGlobalErrorCode(kSuccess);
    run(handler.get(), GetUIDRef(doc));
    if (ErrorUtils::PMGetGlobalErrorCode() == kSuccess) return true;
    return SetError(error, gDocumentError.empty() ? "Cannot save " + doc->GetName().GetUTF8String()
                                                  : gDocumentError);
}

} // namespace

namespace Host {

IDocument* OpenDocument(const IDFile& file, std::string* error) {
    HostDocumentList* list = HostDocumentList::Get();
    if (!list) return Refuse(error, file, "the host is not running");
    // The file's identity is taken once; each open document's file is looked at once (a batch
    // holds many documents open until their group commits).
    struct stat wanted {};
    const bool known = ::stat(file.Path().c_str(), &wanted) == 0;
    for (int32 i = 0; i < list->GetDocCount(); ++i) {
        IDFile open;
        if (!list->GetNthDoc(i)->GetDocFile(&open)) continue;
        struct stat st {};
        if (open == file || (known && ::stat(open.Path().c_str(), &st) == 0 && st.st_dev == wanted.st_dev &&
                             st.st_ino == wanted.st_ino))
            return list->GetNthDoc(i);
    }
    std::error_code ec;
    if (!std::filesystem::exists(file.Path(), ec)) return Refuse(error, file, "no such file");
    if (!std::filesystem::is_regular_file(file.Path(), ec)) return Refuse(error, file, "not a file");
    // Locked before it is read, so that what this process changes and saves starts from what
    // another process saved last, never from a copy read while that one was at work.
    std::unique_ptr<FileLock> lock;
    if (HostConfig::Get().lockDocuments) {
        std::string why;
        const FileLock::Outcome locked = FileLock::Acquire(file.Path(), FileLock::Kind::kDocument, &lock, &why);
        if (locked == FileLock::Outcome::kTimedOut || locked == FileLock::Outcome::kFailed)
            return Refuse(error, file, why);
    }
    std::string rdf;
    bool sidecar = false;
    std::string why;
    XMPFiles::Result read = XMPFiles::Read(file, &rdf, &sidecar, &why);
    if (read != XMPFiles::Result::kOK && read != XMPFiles::Result::kNoPacket)
        return Refuse(error, file, why.empty() ? "the file cannot be read" : why);

    IDocument* doc = MakeDocument(list, file, kInvalidFileTypeInfoID);
    if (!doc) return Refuse(error, file, "no document class");
    if (lock) list->SetLock(doc, std::move(lock));
    InterfacePtr<IXMPPacketAccess> packet(doc, IID_IXMPPACKETACCESS);
    if (!packet || (read == XMPFiles::Result::kOK && !packet->ParsePacket(rdf))) {
        list->Remove(doc);
        return Refuse(error, file, "its XMP packet cannot be read");
    }
    packet->SetDirty(kFalse);
    packet.reset();
    why.clear();
    if (!Host::LoadFileStories(doc, file, &why)) {
        list->Remove(doc);
        return Refuse(error, file, why);
    }

    UIDRef ref = GetUIDRef(doc);
    ResponderRegistry::SendDocSignal(kAfterNewDocSignalResponderService, ref, file);
    if (IsOpen(doc)) ResponderRegistry::SendDocSignal(kAfterOpenDocSignalResponderService, ref, file);
    // A responder may have closed it.
    if (!IsOpen(doc)) return Refuse(error, file, "closed while opening");
    return doc;
}

HostConfig::Edition GetDocumentEdition(const IDocument* doc) {
    if (doc && DocFileTypes::IsTextEditingType(doc->GetOpenFileType())) return HostConfig::Edition::kText;
    return HostConfig::Get().edition;
}

HostConfig::Edition GetDocumentEdition(const UIDRef& object) {
    IDataBase* db = object.GetDataBase();
    if (!db) return HostConfig::Get().edition;
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(db, db->GetRootUID()));
    return GetDocumentEdition(doc.get());
}

IDocument* NewDocument(const IDFile& file, FileTypeInfoID type) {
    HostDocumentList* list = HostDocumentList::Get();
    if (!list) return nullptr;
    IDocument* doc = MakeDocument(list, file, type);
    if (!doc) return nullptr;
    ResponderRegistry::SendDocSignal(kAfterNewDocSignalResponderService, GetUIDRef(doc), file);
    return IsOpen(doc) ? doc : nullptr;
}

bool SaveDocument(IDocument* doc, std::string* error) {
    return RunSave(doc, error, [](IDocFileHandler* h, const UIDRef& ref) { h->Save(ref, kFullUI); });
}

bool SaveDocumentAs(IDocument* doc, const IDFile& destination, std::string* error) {
    return RunSave(doc, error, [&](IDocFileHandler* h, const UIDRef& ref) {
        h->SaveAs(ref, &destination, kFullUI, kFalse, kInvalidFileTypeInfoID);
    });
}

bool RevertDocument(IDocument* doc, std::string* error) {
    return RunSave(doc, error, [](IDocFileHandler* h, const UIDRef& ref) { h->Revert(ref, kFullUI); });
}

bool CloseDocument(IDocument* doc, UIFlags uiFlags, bool allowCancel) {
    if (!IsOpen(doc)) return false;
    doc->AddRef();
    InterfacePtr<IDocument> hold(doc);
    InterfacePtr<IDocFileHandler> handler(HandlerFor(doc));
    if (!handler) return false;
    ErrorUtils::PMSetGlobalErrorCode(kSuccess);
    handler->Close(GetUIDRef(doc), uiFlags, allowCancel ? kTrue : kFalse, IDocFileHandler::kSchedule);
    return !IsOpen(doc);
}

UID NewStory(IDocument* doc, const PMString& name) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    if (!db) return kInvalidUID;
    UID uid = db->NewUID(kStoryBoss);
    InterfacePtr<IStoryData> story(Instantiate<IStoryData>(db, uid));
    if (!story) {
        db->DeleteUID(uid);
        return kInvalidUID;
    }
    story->SetName(name);
    doc->AddStory(uid);
    return uid;
}

UID NewStoryReference(IDocument* doc, ClassID kind, UID story) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    if (!db || (kind != kTextFrameBoss && kind != kStoryLinkBoss)) return kInvalidUID;
    UID uid = db->NewUID(kind);
    InterfacePtr<IStoryReference> ref(
        static_cast<IStoryReference*>(db->Instantiate(uid, IID_ISTORYREFERENCE)));
    if (!ref) {
        db->DeleteUID(uid);
        return kInvalidUID;
    }
    ref->SetStoryUID(story);
    return uid;
}

IDocumentList* GetDocumentList() {
    return HostDocumentList::Get();
}

IDocument* GetFrontDocument() {
    HostDocumentList* list = HostDocumentList::Get();
    return list ? list->GetFront() : nullptr;
}

void SetFrontDocument(IDocument* doc) {
    if (HostDocumentList* list = HostDocumentList::Get()) list->SetFront(doc);
}

void SetDocumentError(const std::string& error) {
    gDocumentError = error;
}

std::string GetDocumentError() {
    return gDocumentError;
}

} // namespace Host

UID ResolveStoryUID(IDataBase* db, UID item) {
    if (!db || !db->IsValidUID(item)) return kInvalidUID;
    if (db->GetClass(item) == kStoryBoss) return item;
    InterfacePtr<IStoryReference> ref(
        static_cast<IStoryReference*>(db->Instantiate(item, IID_ISTORYREFERENCE)));
    if (!ref) return kInvalidUID;
    UID story = ref->GetStoryUID();
    return db->IsValidUID(story) && db->GetClass(story) == kStoryBoss ? story : kInvalidUID;
}

void RegisterDocumentClasses() {
    // Responders of an earlier run belong to bosses of its plug-in registration.
    ResponderRegistry::Clear();
    ObjectModel::RegisterImplementation(kHostDocumentImpl, MakeFactory<HostDocument>());
    ObjectModel::RegisterImplementation(kHostDocSubjectImpl, MakeFactory<HostSubject>());
    ObjectModel::RegisterImplementation(kHostLazySubjectImpl, MakeFactory<HostLazySubject>());
    ObjectModel::RegisterImplementation(kHostDocFileTypeInfoImpl, MakeFactory<HostDocFileTypeInfo>());
    ObjectModel::RegisterImplementation(kHostXMPPacketAccessImpl, MakeFactory<HostXMPPacketAccess>());
    ObjectModel::RegisterImplementation(kHostAssignmentMgrImpl, MakeFactory<HostAssignmentMgr>());
    ObjectModel::RegisterImplementation(kHostDocCommandNotifyImpl, MakeFactory<HostDocCommandNotify>());
    ObjectModel::RegisterImplementation(kHostStoryDataImpl, MakeFactory<HostStoryData>());
    ObjectModel::RegisterImplementation(kHostStoryReferenceImpl, MakeFactory<HostStoryReference>());
    ObjectModel::RegisterImplementation(kHostDocFileHandlerImpl, MakeFactory<HostDocFileHandler>());
    ObjectModel::RegisterImplementation(kHostDocumentListImpl, MakeFactory<HostDocumentList>());
    ObjectModel::RegisterImplementation(kHostClassIDDataImpl, MakeFactory<HostClassIDData>());

    ObjectModel::RegisterClass(kDocBoss, {
                                             {IID_IDOCUMENT, kHostDocumentImpl},
                                             {IID_ISUBJECT, kHostDocSubjectImpl},
                                             {IID_ILAZYSUBJECT, kHostLazySubjectImpl},
                                             {IID_IXMPPACKETACCESS, kHostXMPPacketAccessImpl},
                                             {IID_IFILETYPEINFO, kHostDocFileTypeInfoImpl},
                                             {IID_IASSIGNMENTMGR, kHostAssignmentMgrImpl},
                                             {IID_IDOCCOMMANDNOTIFY, kHostDocCommandNotifyImpl},
                                         });
    ObjectModel::RegisterClass(kDocWorkspaceBoss, {
                                                      {IID_ISUBJECT, kHostDocSubjectImpl},
                                                      {IID_ILAZYSUBJECT, kHostLazySubjectImpl},
                                                  });
    ObjectModel::RegisterClass(kStoryBoss, {
                                               {IID_ISTORYDATA, kHostStoryDataImpl},
                                               {IID_IXMPPACKETACCESS, kHostXMPPacketAccessImpl},
                                               {IID_ISUBJECT, kHostDocSubjectImpl},
                                               {IID_ILAZYSUBJECT, kHostLazySubjectImpl},
                                           });
    ObjectModel::RegisterClass(kTextFrameBoss, {{IID_ISTORYREFERENCE, kHostStoryReferenceImpl}});
    ObjectModel::RegisterClass(kStoryLinkBoss, {{IID_ISTORYREFERENCE, kHostStoryReferenceImpl}});
    ObjectModel::RegisterClass(kHostDocFileHandlerBoss, {{IID_IDOCFILEHANDLER, kHostDocFileHandlerImpl}});
    ObjectModel::AddIn(kSessionBoss, {IID_IDOCUMENTLIST, kHostDocumentListImpl});
    RegisterStoryWorkflowCommands();
}
