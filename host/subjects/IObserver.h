// An observer of a subject.
#pragma once

#include "objectmodel/IPMUnknown.h"

class ISubject;

class IObserver : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IOBSERVER };
    virtual void AutoAttach() {}
    virtual void AutoDetach() {}
    virtual void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
                        void* changedBy) = 0;
};
