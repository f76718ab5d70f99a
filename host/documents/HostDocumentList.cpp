#include "documents/HostDocumentList.h"

#include "documents/IDocument.h"
#include "objectmodel/InterfacePtr.h"
#include "session/ISession.h"
#include "subjects/ISubject.h"

#include <algorithm>

HostDocumentList::~HostDocumentList() {
    while (!fEntries.empty()) {
        auto db = std::move(fEntries.back().db);
        fEntries.pop_back();
        db.reset();
    }
}

IDocument* HostDocumentList::GetNthDoc(int32 index) const {
    if (index < 0 || index >= GetDocCount()) return nullptr;
    return fEntries[static_cast<size_t>(index)].doc;
}

IDocument* HostDocumentList::FindDoc(const IDFile& file) const {
    for (const auto& e : fEntries) {
        IDFile f;
        if (e.doc->GetDocFile(&f) && f == file) return e.doc;
    }
    return nullptr;
}

bool16 HostDocumentList::IsOpen(const IDocument* doc) const {
    return doc && std::any_of(fEntries.begin(), fEntries.end(), [&](const Entry& e) { return e.doc == doc; })
               ? kTrue
               : kFalse;
}

namespace {
// Tells the session's observers (the metadata panel among them) what happened to the front.
void TellSession(ClassID change) {
    ISession* session = GetExecutionContextSession();
    InterfacePtr<ISubject> subject(session, IID_ISUBJECT);
    if (subject) subject->Change(change, IID_IDOCUMENTLIST, nullptr);
}
} // namespace

void HostDocumentList::Add(IDocument* doc, std::unique_ptr<HostDataBase> db) {
    fEntries.push_back({doc, std::move(db), nullptr});
    fFront = doc;
    TellSession(kFrontDocChangedMessage);
}

void HostDocumentList::Remove(const IDocument* doc) {
    auto it = std::find_if(fEntries.begin(), fEntries.end(), [&](const Entry& e) { return e.doc == doc; });
    if (it == fEntries.end()) return;
    // Out of the list first: releasing the objects may look at the list.
    auto db = std::move(it->db);
    auto lock = std::move(it->lock);
    fEntries.erase(it);
    const bool wasFront = fFront == doc;
    if (wasFront) fFront = fEntries.empty() ? nullptr : fEntries.back().doc;
    db.reset();
    // Released once the document is gone: nothing of it is written after this.
    lock.reset();
    if (wasFront) TellSession(kFrontDocClosedMessage);
}

void HostDocumentList::SetLock(const IDocument* doc, std::unique_ptr<FileLock> lock) {
    auto it = std::find_if(fEntries.begin(), fEntries.end(), [&](const Entry& e) { return e.doc == doc; });
    if (it != fEntries.end()) it->lock = std::move(lock);
}

void HostDocumentList::SetFront(IDocument* doc) {
    if (!IsOpen(doc) || fFront == doc) return;
    fFront = doc;
    TellSession(kFrontDocChangedMessage);
}

HostDocumentList* HostDocumentList::Get() {
    ISession* session = GetExecutionContextSession();
    if (!session) return nullptr;
    InterfacePtr<IDocumentList> list(session, IID_IDOCUMENTLIST);
    return dynamic_cast<HostDocumentList*>(list.get());
}
