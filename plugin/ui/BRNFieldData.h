// The field reference of a widget; zero until set.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "ui/IBRNFieldData.h"

class BRNFieldData : public CPMUnknown<IBRNFieldData> {
public:
    explicit BRNFieldData(Boss* boss) : CPMUnknown<IBRNFieldData>(boss) {}
    void Set(uint64 value) override { fValue = value; }
    uint64 Get() const override { return fValue; }

private:
    uint64 fValue = 0;
};
