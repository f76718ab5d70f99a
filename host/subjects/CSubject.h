// The host's subject implementation, put on any boss that broadcasts changes.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "subjects/ISubject.h"

#include <vector>

class CSubject : public CPMUnknown<ISubject> {
public:
    explicit CSubject(Boss* boss) : CPMUnknown<ISubject>(boss) {}
    void AttachObserver(IObserver* observer, PMIID protocol, PMIID observerIID) override;
    void DetachObserver(IObserver* observer, PMIID protocol, PMIID observerIID) override;
    bool16 IsAttached(IObserver* observer, PMIID protocol, PMIID observerIID) override;
    void Change(ClassID theChange, PMIID protocol, void* changedBy) override;

private:
    struct Attachment {
        IObserver* observer;
        PMIID protocol;
        PMIID observerIID;
        bool operator==(const Attachment&) const = default;
    };
    std::vector<Attachment> fAttachments;
};
