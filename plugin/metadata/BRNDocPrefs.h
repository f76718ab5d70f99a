// Document preferences as plain data (on a command's boss, for example).
#pragma once

#include "CPMUnknown.h"
#include "IBRNDocPrefs.h"

class BRNDocPrefs : public CPMUnknown<IBRNDocPrefs> {
public:
    explicit BRNDocPrefs(Boss* boss) : CPMUnknown<IBRNDocPrefs>(boss) {}
    const uint16& GetState() const override { return fState; }
    void SetState(const uint16& state) override { fState = state; }

private:
    uint16 fState = 0;
};
