// Carries the reference of the field a widget shows.
#pragma once

#include "BRNID.h"
#include "objectmodel/IPMUnknown.h"

class IBRNFieldData : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IBRNFIELDDATA };
    virtual void Set(uint64 value) = 0;
    virtual uint64 Get() const = 0;
};
