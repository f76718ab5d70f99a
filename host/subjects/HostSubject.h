// The subject of documents, workspaces and stories: CSubject's regular observers, plus the
// lazy observers of the boss's ILazySubject, plus the record of changes that undo replays.
#pragma once

#include "subjects/CSubject.h"
#include "subjects/ILazySubject.h"

#include <utility>
#include <vector>

class HostSubject : public CSubject {
public:
    explicit HostSubject(Boss* boss) : CSubject(boss) {}
    void Change(ClassID theChange, PMIID protocol, void* changedBy) override;
};

class HostLazySubject : public CPMUnknown<ILazySubject> {
public:
    explicit HostLazySubject(Boss* boss) : CPMUnknown<ILazySubject>(boss) {}
    ~HostLazySubject() override;
    void AttachLazyObserver(IObserver* observer, PMIID protocol, PMIID observerIID) override;
    void DetachLazyObserver(IObserver* observer, PMIID protocol, PMIID observerIID) override;
    bool16 IsLazilyAttached(IObserver* observer, PMIID protocol, PMIID observerIID) override;

    // A change was announced on the boss's subject: tell the lazy observers now, or queue it
    // until the running batch ends.
    void Post(ClassID theChange, PMIID protocol);
    void Deliver();

private:
    struct Attachment {
        IObserver* observer;
        PMIID protocol;
        PMIID observerIID;
        bool operator==(const Attachment&) const = default;
    };
    std::vector<Attachment> fAttachments;
    // Protocols with changes not yet delivered, in the order they first changed.
    std::vector<std::pair<PMIID, std::vector<ClassID>>> fPending;
};

// Commands, command sequences and transactions open a batch; lazy notifications wait
// until the outermost batch ends.
namespace LazyNotify {
void BeginBatch();
void EndBatch();
bool IsBatching();
} // namespace LazyNotify
