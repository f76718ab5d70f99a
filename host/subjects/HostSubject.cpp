#include "subjects/HostSubject.h"

#include "commands/CmdUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "subjects/CObserver.h"

#include <algorithm>
#include <deque>

namespace {
int32 gBatchDepth = 0;
std::deque<HostLazySubject*> gPending;

void FlushPending() {
    // Delivering may run commands that queue more; each subject leaves the queue before it delivers.
    while (gBatchDepth == 0 && !gPending.empty()) {
        HostLazySubject* s = gPending.front();
        gPending.pop_front();
        s->Deliver();
    }
}
} // namespace

void HostSubject::Change(ClassID theChange, PMIID protocol, void* changedBy) {
    CmdUtils::NoteChange(this, theChange, protocol);
    CSubject::Change(theChange, protocol, changedBy);
    InterfacePtr<ILazySubject> lazy(this, IID_ILAZYSUBJECT);
    if (auto* host = dynamic_cast<HostLazySubject*>(lazy.get())) host->Post(theChange, protocol);
}

HostLazySubject::~HostLazySubject() {
    std::erase(gPending, this);
}

void HostLazySubject::AttachLazyObserver(IObserver* observer, PMIID protocol, PMIID observerIID) {
    if (!observer || IsLazilyAttached(observer, protocol, observerIID)) return;
    fAttachments.push_back({observer, protocol, observerIID});
}

void HostLazySubject::DetachLazyObserver(IObserver* observer, PMIID protocol, PMIID observerIID) {
    std::erase(fAttachments, Attachment{observer, protocol, observerIID});
}

bool16 HostLazySubject::IsLazilyAttached(IObserver* observer, PMIID protocol, PMIID observerIID) {
    return std::find(fAttachments.begin(), fAttachments.end(), Attachment{observer, protocol, observerIID}) !=
                   fAttachments.end()
               ? kTrue
               : kFalse;
}

void HostLazySubject::Post(ClassID theChange, PMIID protocol) {
    bool watched = std::any_of(fAttachments.begin(), fAttachments.end(),
                               [&](const Attachment& a) { return a.protocol == protocol; });
    if (!watched) return;
    auto it =
        std::find_if(fPending.begin(), fPending.end(), [&](const auto& p) { return p.first == protocol; });
    if (it == fPending.end()) {
        fPending.push_back({protocol, {theChange}});
    } else if (std::find(it->second.begin(), it->second.end(), theChange) == it->second.end()) {
        it->second.push_back(theChange);
    }
    if (std::find(gPending.begin(), gPending.end(), this) == gPending.end()) gPending.push_back(this);
    FlushPending();
}

void HostLazySubject::Deliver() {
    // An observer may close the document while it is told: hold the boss until the end.
    AddRef();
    {
        std::erase(gPending, this);
        auto pending = std::exchange(fPending, {});
        InterfacePtr<ISubject> subject(this, IID_ISUBJECT);
        for (const auto& [protocol, changes] : pending) {
            LazyNotificationData data{changes};
            auto snapshot = fAttachments;
            for (const auto& a : snapshot) {
                if (a.protocol != protocol) continue;
                if (std::find(fAttachments.begin(), fAttachments.end(), a) == fAttachments.end()) continue;
                if (auto* observer = dynamic_cast<CObserver*>(a.observer))
                    observer->LazyUpdate(subject.get(), protocol, &data);
                else
                    a.observer->Update(changes.back(), subject.get(), protocol, nullptr);
            }
        }
    }
    Release();
}

namespace LazyNotify {
void BeginBatch() {
    ++gBatchDepth;
}
void EndBatch() {
    if (gBatchDepth > 0 && --gBatchDepth == 0) FlushPending();
}
bool IsBatching() {
    return gBatchDepth > 0;
}
} // namespace LazyNotify
