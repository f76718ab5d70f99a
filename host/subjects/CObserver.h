// Base of observers: no-op updates, and the lazy update that a lazily attached observer gets.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "subjects/IObserver.h"

#include <vector>

// What a lazy update is about: the changes announced for the protocol, in order, each once.
struct LazyNotificationData {
    std::vector<ClassID> changes;
};

class CObserver : public CPMUnknown<IObserver> {
public:
    explicit CObserver(Boss* boss, PMIID observerIID = IID_IOBSERVER)
        : CPMUnknown<IObserver>(boss), fObserverIID(observerIID) {}
    void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
                void* changedBy) override {}
    // Called once per protocol after the outermost command, sequence or transaction that changed
    // the subject. An observer that is not a CObserver gets Update instead, with the last change.
    virtual void LazyUpdate(ISubject* theSubject, const PMIID& protocol, const LazyNotificationData* data) {}
    PMIID GetObserverIID() const { return fObserverIID; }

private:
    PMIID fObserverIID;
};
