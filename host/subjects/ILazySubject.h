// Lazy attachment to a subject: the observer hears of changes once, after the outermost
// command, command sequence or transaction that made them has ended (at once when none runs).
// Lives beside ISubject on documents, their workspaces and stories.
#pragma once

#include "objectmodel/IPMUnknown.h"

class IObserver;

class ILazySubject : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ILAZYSUBJECT };
    virtual void AttachLazyObserver(IObserver* observer, PMIID protocol,
                                    PMIID observerIID = IID_IOBSERVER) = 0;
    virtual void DetachLazyObserver(IObserver* observer, PMIID protocol,
                                    PMIID observerIID = IID_IOBSERVER) = 0;
    virtual bool16 IsLazilyAttached(IObserver* observer, PMIID protocol,
                                    PMIID observerIID = IID_IOBSERVER) = 0;
};
