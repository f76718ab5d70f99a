// One class ID kept on an object. The host's implementation (kHostClassIDDataImpl) may be
// put on any class as an add-in under an interface ID of the plug-in's own.
#pragma once

#include "objectmodel/IPMUnknown.h"

class IClassIDData : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ICLASSIDDATA };
    virtual ClassID GetClassID() const = 0;
    virtual void Set(ClassID classID) = 0;
};
