#include "subjects/CSubject.h"

#include "subjects/IObserver.h"

#include <algorithm>

void CSubject::AttachObserver(IObserver* observer, PMIID protocol, PMIID observerIID) {
    if (!observer || IsAttached(observer, protocol, observerIID)) return;
    fAttachments.push_back({observer, protocol, observerIID});
}

void CSubject::DetachObserver(IObserver* observer, PMIID protocol, PMIID observerIID) {
    std::erase(fAttachments, Attachment{observer, protocol, observerIID});
}

bool16 CSubject::IsAttached(IObserver* observer, PMIID protocol, PMIID observerIID) {
    return std::find(fAttachments.begin(), fAttachments.end(), Attachment{observer, protocol, observerIID}) !=
                   fAttachments.end()
               ? kTrue
               : kFalse;
}

void CSubject::Change(ClassID theChange, PMIID protocol, void* changedBy) {
    // Observers may detach while being told; work on a copy and skip the ones that left.
    auto snapshot = fAttachments;
    for (const auto& a : snapshot) {
        if (a.protocol != protocol) continue;
        if (std::find(fAttachments.begin(), fAttachments.end(), a) == fAttachments.end()) continue;
        a.observer->Update(theChange, this, protocol, changedBy);
    }
}
