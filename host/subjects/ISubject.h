// Change broadcast: observers attach to a subject for a protocol and are told of changes.
#pragma once

#include "objectmodel/IPMUnknown.h"

class IObserver;

class ISubject : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ISUBJECT };
    virtual void AttachObserver(IObserver* observer, PMIID protocol, PMIID observerIID = IID_IOBSERVER) = 0;
    virtual void DetachObserver(IObserver* observer, PMIID protocol, PMIID observerIID = IID_IOBSERVER) = 0;
    virtual bool16 IsAttached(IObserver* observer, PMIID protocol, PMIID observerIID = IID_IOBSERVER) = 0;
    // Tells every observer attached for the protocol, in the order they attached.
    virtual void Change(ClassID theChange, PMIID protocol, void* changedBy = nullptr) = 0;
};
