// Story-level questions shared by the panel and the metadata service: may a story take
// metadata, and which stories do a document's assignments hand out.
#pragma once

#include "objectmodel/UIDList.h"

class BRNAssignmentHelper {
public:
    // The story's status: whether it is locked and whether it is handed out for text editing
    // (either out-argument may be null). 0 on success; 1 when the item is no story and
    // refers to none, and then neither out-argument is set.
    static int32 GetStoryStatus(const UIDRef& story, bool16* locked, bool16* exported);
    // Whether the story (or an object that refers to one) may take metadata: its status is
    // known, it is not locked and it is handed out.
    static bool16 IsStoryEditable(const UIDRef& story);
    // The stories of all the document's assignments, each once, in assignment order; empty
    // (and an error logged) when the document or its assignment list is missing.
    static UIDList GetAssignmentStories(const UIDRef& document);
};
