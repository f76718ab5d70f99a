// An object of a document that refers to a story: a text frame that shows the story's text, or
// the link through which the story was handed out for text editing. Metadata written "to" such
// an object belongs to the story it refers to.
#pragma once

#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDRef.h"

class IStoryReference : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ISTORYREFERENCE };
    // The story, in the same database; kInvalidUID when the object refers to none.
    virtual UID GetStoryUID() const = 0;
    virtual void SetStoryUID(UID story) = 0;
};

// The story an item of a database stands for: the item itself when it is a story, the story it
// refers to when it is a story reference, kInvalidUID otherwise.
UID ResolveStoryUID(IDataBase* db, UID item);
