// The implementations on the host's document boss (kDocBoss).
#pragma once

#include "commands/IDocCommandNotify.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDocument.h"
#include "formats/IFileTypeInfo.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/IClassIDData.h"

#include <map>
#include <string>
#include <vector>

// The stories, frames and story entries of a document whose file holds them (a layout
// package or a story file), by the ids the file writes.
struct HostFileStories {
    bool fromFile = false;
    bool storyFile = false;                           // a story file: its packet is the document's too
    std::vector<std::pair<std::string, UID>> stories; // Self -> story, in file order
    std::map<UID, std::string> entries;               // story -> its entry in the package
    struct Frame {
        std::string self;
        UID frame = kInvalidUID;
        UID story = kInvalidUID;
    };
    std::vector<Frame> frames;
    std::map<UID, UID> links; // story -> the story link a relink works through
};

class HostDocument final : public CPMUnknown<IDocument> {
public:
    explicit HostDocument(Boss* boss);

    bool16 GetDocFile(IDFile* file) const override;
    UIDRef GetDocWorkSpace() const override;
    IDataBase* GetDocumentDataBase() const override;
    PMString GetName() const override;
    bool16 IsTemplate() const override;
    FileTypeInfoID GetOpenFileType() const override { return fType; }
    bool16 IsModified() const override;
    int32 GetStoryCount() const override { return static_cast<int32>(fStories.size()); }
    UID GetNthStoryUID(int32 index) const override;
    UIDList GetStoryList() const override;
    void AddStory(UID story) override;
    void RemoveStory(UID story) override;
    ClassID GetDocFileHandler() const override { return fHandler; }
    void SetDocFileHandler(ClassID handlerClass) override { fHandler = handlerClass; }

    // The host's own: the file (after save as) and the workspace.
    void SetFile(const IDFile& file, FileTypeInfoID type);
    void SetWorkSpace(UID workspace) { fWorkspace = workspace; }
    HostFileStories& FileStories() { return fFileStories; }

private:
    IDFile fFile;
    FileTypeInfoID fType = kInvalidFileTypeInfoID;
    UID fWorkspace = kInvalidUID;
    std::vector<UID> fStories;
    ClassID fHandler;
    int32 fUntitledNumber;
    HostFileStories fFileStories;
};

class HostDocFileTypeInfo final : public CPMUnknown<IFileTypeInfo> {
public:
    explicit HostDocFileTypeInfo(Boss* boss) : CPMUnknown<IFileTypeInfo>(boss) {}
    FileTypeInfoID GetFileTypeInfoID() const override;
};

class HostAssignmentMgr final : public CPMUnknown<IAssignmentMgr> {
public:
    explicit HostAssignmentMgr(Boss* boss) : CPMUnknown<IAssignmentMgr>(boss) {}
    int32 GetAssignmentCount() const override { return static_cast<int32>(fAssignments.size()); }
    Assignment GetNthAssignment(int32 index) const override;
    int32 AddAssignment(const Assignment& assignment) override;
    bool16 SetNthAssignment(int32 index, const Assignment& assignment) override;
    bool16 RemoveAssignment(int32 index) override;
    int32 FindStory(UID story) const override;

private:
    std::vector<Assignment> fAssignments;
};

class HostDocCommandNotify final : public CPMUnknown<IDocCommandNotify> {
public:
    explicit HostDocCommandNotify(Boss* boss) : CPMUnknown<IDocCommandNotify>(boss) {}
    bool16 GetNotify() const override { return fNotify; }
    void SetNotify(bool16 notify) override { fNotify = notify ? kTrue : kFalse; }

private:
    bool16 fNotify = kTrue;
};

class HostClassIDData final : public CPMUnknown<IClassIDData> {
public:
    explicit HostClassIDData(Boss* boss) : CPMUnknown<IClassIDData>(boss) {}
    ClassID GetClassID() const override { return fClass; }
    void Set(ClassID classID) override { fClass = classID; }

private:
    ClassID fClass = kInvalidClass;
};
