#include "documents/HostDataBase.h"

#include "objectmodel/ObjectModel.h"
#include "subjects/HostSubject.h"

#include <algorithm>
#include <unordered_map>

namespace {

// Where each kept boss lives, by the boss's identity (the implementation that answers IID_IUNKNOWN).
std::unordered_map<const IPMUnknown*, UIDRef>& Locations() {
    static std::unordered_map<const IPMUnknown*, UIDRef> map;
    return map;
}

std::vector<HostDataBase*>& Databases() {
    static std::vector<HostDataBase*> all;
    return all;
}

const IPMUnknown* Identity(const IPMUnknown* object) {
    if (!object) return nullptr;
    IPMUnknown* id = object->QueryInterface(IID_IUNKNOWN);
    if (!id) return nullptr;
    id->Release();
    return id;
}

} // namespace

const UIDRef UIDRef::gNull;

bool16 UIDRef::ExistsInDB() const {
    return fDataBase && fUID != kInvalidUID && fDataBase->IsValidUID(fUID) ? kTrue : kFalse;
}

UIDRef GetUIDRef(const IPMUnknown* object) {
    const IPMUnknown* id = Identity(object);
    if (!id) return UIDRef();
    auto it = Locations().find(id);
    return it == Locations().end() ? UIDRef() : it->second;
}

IDataBase* GetDataBase(const IPMUnknown* object) {
    return GetUIDRef(object).GetDataBase();
}

UID GetUID(const IPMUnknown* object) {
    return GetUIDRef(object).GetUID();
}

uint64 NewUndoGroup() {
    static uint64 next = 0;
    return ++next;
}

HostDataBase::HostDataBase() {
    Databases().push_back(this);
}

HostDataBase::~HostDataBase() {
    while (fTransactionDepth > 0)
        EndTransaction();
    ReleaseAll();
    std::erase(Databases(), this);
}

std::vector<HostDataBase*> HostDataBase::All() {
    return Databases();
}

UID HostDataBase::NewUID(ClassID classID) {
    IPMUnknown* object = ObjectModel::CreateObject(classID, IID_IUNKNOWN);
    if (!object) return kInvalidUID;
    UID uid = fNext++;
    if (fRoot == kInvalidUID) fRoot = uid;
    fObjects[uid] = object;
    Locations()[Identity(object)] = UIDRef(this, uid);
    return uid;
}

void HostDataBase::DeleteUID(UID uid) {
    auto it = fObjects.find(uid);
    if (it == fObjects.end()) return;
    IPMUnknown* object = it->second;
    fObjects.erase(it);
    Locations().erase(Identity(object));
    object->Release();
}

bool16 HostDataBase::IsValidUID(UID uid) const {
    return fObjects.count(uid) ? kTrue : kFalse;
}

ClassID HostDataBase::GetClass(UID uid) const {
    auto it = fObjects.find(uid);
    return it == fObjects.end() ? kInvalidClass : it->second->GetClassOfObject();
}

IPMUnknown* HostDataBase::Instantiate(UID uid, PMIID interfaceID) const {
    auto it = fObjects.find(uid);
    return it == fObjects.end() ? nullptr : it->second->QueryInterface(interfaceID);
}

void HostDataBase::BeginTransaction() {
    if (fTransactionDepth++ == 0) fTransactionGroup = NewUndoGroup();
    LazyNotify::BeginBatch();
}

void HostDataBase::EndTransaction() {
    if (fTransactionDepth == 0) return;
    if (--fTransactionDepth == 0) fTransactionGroup = 0;
    LazyNotify::EndBatch();
}

std::vector<UID> HostDataBase::GetUIDs() const {
    std::vector<UID> uids;
    for (const auto& [uid, object] : fObjects)
        uids.push_back(uid);
    return uids;
}

void HostDataBase::ReleaseAll() {
    // The undo steps hold commands, which may hold references into the document.
    fHistory.Clear();
    // Forget every location first, so that nothing released below still finds itself in
    // the database; then release the newest first and the document last.
    std::vector<IPMUnknown*> objects;
    for (const auto& [uid, object] : fObjects) {
        Locations().erase(Identity(object));
        objects.push_back(object);
    }
    fObjects.clear();
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        (*it)->Release();
}
