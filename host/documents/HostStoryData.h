// The story data on the host's story boss (kStoryBoss).
#pragma once

#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "objectmodel/CPMUnknown.h"

class HostStoryData final : public CPMUnknown<IStoryData> {
public:
    explicit HostStoryData(Boss* boss) : CPMUnknown<IStoryData>(boss) {}

    PMString GetName() const override { return fName; }
    void SetName(const PMString& name) override { fName = name; }
    bool16 IsLocked() const override { return fLocked; }
    void SetLocked(bool16 locked) override { fLocked = locked ? kTrue : kFalse; }
    bool16 IsLockKnown() const override { return fLockKnown; }
    void SetLockKnown(bool16 known) { fLockKnown = known ? kTrue : kFalse; }
    IDFile GetStoryFile() const override { return fFile; }
    void SetStoryFile(const IDFile& file) override { fFile = file; }
    PMString GetLinkResource() const override { return fLink; }
    void SetLinkResource(const PMString& location) override { fLink = location; }
    bool16 ResolveLinkResource(IDFile* file) const override;
    bool16 IsExportedForTextEditing() const override { return fExported; }
    void SetExportedForTextEditing(bool16 exported) override { fExported = exported ? kTrue : kFalse; }

private:
    PMString fName;
    bool16 fLocked = kFalse;
    bool16 fLockKnown = kTrue;
    IDFile fFile;
    PMString fLink;
    bool16 fExported = kFalse;
};

// The reference of a text frame or a story link (kTextFrameBoss, kStoryLinkBoss).
class HostStoryReference final : public CPMUnknown<IStoryReference> {
public:
    explicit HostStoryReference(Boss* boss) : CPMUnknown<IStoryReference>(boss) {}
    UID GetStoryUID() const override { return fStory; }
    void SetStoryUID(UID story) override { fStory = story; }

private:
    UID fStory = kInvalidUID;
};
