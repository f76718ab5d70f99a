// Document preferences as plain data (on a command's boss, for example).
#pragma once

#include "metadata/IBRNDocPrefs.h"
#include "objectmodel/CPMUnknown.h"

class BRNDocPrefs : public CPMUnknown<IBRNDocPrefs> {
public:
    explicit BRNDocPrefs(Boss* boss) : CPMUnknown<IBRNDocPrefs>(boss) {}
    const uint16& GetState() const override { return fState; }
    void SetState(const uint16& state) override { fState = state; }

private:
    uint16 fState = 0;
};
