// What a responder is given: the signal being sent. The same object carries the signal's data
// (for document signals IDocumentSignalData).
#pragma once

#include "objectmodel/IPMUnknown.h"

class ISignalMgr : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ISIGNALMGR };
    virtual ServiceID GetServiceID() const = 0;
};
