#include "documents/HostDocument.h"

#include "documents/IDataBase.h"
#include "formats/DocFileTypes.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>

namespace {
int32 NextUntitledNumber() {
    static int32 next = 0;
    return ++next;
}
} // namespace

HostDocument::HostDocument(Boss* boss)
    : CPMUnknown<IDocument>(boss), fHandler(kHostDocFileHandlerBoss), fUntitledNumber(NextUntitledNumber()) {}

bool16 HostDocument::GetDocFile(IDFile* file) const {
    if (fFile.IsEmpty()) return kFalse;
    if (file) *file = fFile;
    return kTrue;
}

UIDRef HostDocument::GetDocWorkSpace() const {
    IDataBase* db = GetDocumentDataBase();
    return db ? UIDRef(db, fWorkspace) : UIDRef();
}

IDataBase* HostDocument::GetDocumentDataBase() const {
    return ::GetDataBase(this);
}

PMString HostDocument::GetName() const {
    if (!fFile.IsEmpty()) return fFile.GetFileName();
    PMString name("Untitled-");
    name.AppendNumber(static_cast<int64>(fUntitledNumber));
    return name;
}

bool16 HostDocument::IsTemplate() const {
    return DocFileTypes::IsTemplate(fType) ? kTrue : kFalse;
}

bool16 HostDocument::IsModified() const {
    InterfacePtr<IXMPPacketAccess> packet(this, IID_IXMPPACKETACCESS);
    if (packet && packet->IsDirty()) return kTrue;
    // The stories of the document's file are saved with it.
    if (!fFileStories.fromFile) return kFalse;
    IDataBase* db = GetDocumentDataBase();
    for (UID uid : fStories) {
        InterfacePtr<IXMPPacketAccess> story(
            db ? static_cast<IXMPPacketAccess*>(db->Instantiate(uid, IID_IXMPPACKETACCESS)) : nullptr);
        if (story && story->IsDirty()) return kTrue;
    }
    return kFalse;
}

UID HostDocument::GetNthStoryUID(int32 index) const {
    if (index < 0 || index >= GetStoryCount()) return kInvalidUID;
    return fStories[static_cast<size_t>(index)];
}

UIDList HostDocument::GetStoryList() const {
    UIDList list(GetDocumentDataBase());
    for (UID uid : fStories)
        list.Append(uid);
    return list;
}

void HostDocument::AddStory(UID story) {
    if (story == kInvalidUID || std::find(fStories.begin(), fStories.end(), story) != fStories.end()) return;
    fStories.push_back(story);
}

void HostDocument::RemoveStory(UID story) {
    std::erase(fStories, story);
}

void HostDocument::SetFile(const IDFile& file, FileTypeInfoID type) {
    fFile = file;
    fType = type;
}

FileTypeInfoID HostDocFileTypeInfo::GetFileTypeInfoID() const {
    InterfacePtr<IDocument> doc(this, IID_IDOCUMENT);
    return doc ? doc->GetOpenFileType() : kInvalidFileTypeInfoID;
}

Assignment HostAssignmentMgr::GetNthAssignment(int32 index) const {
    if (index < 0 || index >= GetAssignmentCount()) return {};
    return fAssignments[static_cast<size_t>(index)];
}

int32 HostAssignmentMgr::AddAssignment(const Assignment& assignment) {
    fAssignments.push_back(assignment);
    return GetAssignmentCount() - 1;
}

bool16 HostAssignmentMgr::SetNthAssignment(int32 index, const Assignment& assignment) {
    if (index < 0 || index >= GetAssignmentCount()) return kFalse;
    fAssignments[static_cast<size_t>(index)] = assignment;
    return kTrue;
}

bool16 HostAssignmentMgr::RemoveAssignment(int32 index) {
    if (index < 0 || index >= GetAssignmentCount()) return kFalse;
    fAssignments.erase(fAssignments.begin() + index);
    return kTrue;
}

int32 HostAssignmentMgr::FindStory(UID story) const {
    for (size_t i = 0; i < fAssignments.size(); ++i) {
        const auto& s = fAssignments[i].stories;
        if (std::find(s.begin(), s.end(), story) != s.end()) return static_cast<int32>(i);
    }
    return -1;
}
