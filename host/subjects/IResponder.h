// A responder to host signals (document created, opened, saved, closed...). Registered for
// service IDs with ResponderRegistry.
#pragma once

#include "objectmodel/IPMUnknown.h"

class ISignalMgr;

class IResponder : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IRESPONDER };
    virtual void Respond(ISignalMgr* signalMgr) = 0;
};
