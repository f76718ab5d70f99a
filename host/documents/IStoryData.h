// A story (text flow) of a document, as the text-editing workflow sees it: its name, lock,
// its own story file, the link resource it was exported through and whether it was exported
// for text editing. Its metadata is the IXMPPacketAccess of the story's boss (kStoryBoss).
#pragma once

#include "base/PMString.h"
#include "io/IDFile.h"
#include "objectmodel/IPMUnknown.h"

class IStoryData : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ISTORYDATA };

    virtual PMString GetName() const = 0;
    virtual void SetName(const PMString& name) = 0;

    virtual bool16 IsLocked() const = 0;
    virtual void SetLocked(bool16 locked) = 0;
    // False when the facts that decide the lock could not be read (the story file's folder
    // cannot be listed): the story's lock state is then unknown.
    virtual bool16 IsLockKnown() const { return kTrue; }

    // The story's own file; empty when it has none.
    virtual IDFile GetStoryFile() const = 0;
    virtual void SetStoryFile(const IDFile& file) = 0;

    // The location the link resource stores (a path or a file URL); empty when there is no link.
    virtual PMString GetLinkResource() const = 0;
    virtual void SetLinkResource(const PMString& location) = 0;
    // The file of the link resource when the location names a file that exists.
    virtual bool16 ResolveLinkResource(IDFile* file) const = 0;

    virtual bool16 IsExportedForTextEditing() const = 0;
    virtual void SetExportedForTextEditing(bool16 exported) = 0;
};
