#include "service/BRNSuiteTextCSB.h"

#include "CVLog.h"
#include "documents/HostSelection.h"
#include "documents/IStoryReference.h"

bool16 BRNSuiteTextCSB::IsStorySelected() {
    CV_TRACE("BRNSuiteTextCSB::IsStorySelected");
    UIDList stories;
    GetStoryList(stories);
    if (stories.IsEmpty()) {
        // The panel asked with a text selection that gives no story.
        CV_LOG(30, "the text focus gives no story");
        CV_RETURN_FAILED(kFalse);
    }
    CV_RETURN(kTrue);
}

void BRNSuiteTextCSB::GetStoryList(UIDList& stories) {
    const UIDRef focus = Host::GetTextFocus();
    stories = UIDList(focus.GetDataBase());
    const UID story = ResolveStoryUID(focus.GetDataBase(), focus.GetUID());
    if (story != kInvalidUID) stories.Append(story);
}
