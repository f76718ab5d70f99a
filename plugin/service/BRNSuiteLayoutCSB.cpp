#include "service/BRNSuiteLayoutCSB.h"

#include "documents/HostSelection.h"
#include "documents/IStoryReference.h"

void BRNSuiteLayoutCSB::GetStoryList(UIDList& stories) {
    const UIDList items = Host::GetSelectedPageItems();
    stories = UIDList(items.GetDataBase());
    for (UID item : items) {
        // Frames of one story give it once; items without a story give nothing.
        const UID story = ResolveStoryUID(items.GetDataBase(), item);
        if (story != kInvalidUID && !stories.Contains(story)) stories.Append(story);
    }
}
