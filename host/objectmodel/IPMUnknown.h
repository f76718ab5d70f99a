// The root of every host interface: reference counting and interface queries.
#pragma once

#include "base/PMTypes.h"
#include "objectmodel/HostIDs.h"

class IPMUnknown {
public:
    enum { kDefaultIID = IID_IUNKNOWN };
    // A referenced sibling interface of the same object, or null.
    virtual IPMUnknown* QueryInterface(PMIID interfaceID) const = 0;
    virtual void AddRef() const = 0;
    virtual void Release() const = 0;
    // The class of the boss that the interface belongs to (kInvalidClass for stand-alone objects).
    virtual ClassID GetClassOfObject() const { return kInvalidClass; }

protected:
    virtual ~IPMUnknown() = default;
    friend class Boss;
    template <class> friend class CStandaloneUnknown;
};
