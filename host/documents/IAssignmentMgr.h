// The text-editing assignments of a document: named groups of the document's stories handed
// to a user, each with its assignment file. On the document boss.
#pragma once

#include "base/PMString.h"
#include "io/IDFile.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDRef.h"

#include <vector>

struct Assignment {
    PMString name;
    PMString user;
    IDFile file;
    // Stories of the document's database, in order.
    std::vector<UID> stories;
};

class IAssignmentMgr : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IASSIGNMENTMGR };
    virtual int32 GetAssignmentCount() const = 0;
    // A copy; an empty assignment for an index out of range.
    virtual Assignment GetNthAssignment(int32 index) const = 0;
    // Appends; returns the new assignment's index.
    virtual int32 AddAssignment(const Assignment& assignment) = 0;
    virtual bool16 SetNthAssignment(int32 index, const Assignment& assignment) = 0;
    virtual bool16 RemoveAssignment(int32 index) = 0;
    // The index of the first assignment that holds the story, or -1.
    virtual int32 FindStory(UID story) const = 0;
};
