// Document preferences kept with the document, on its workspace (and on stories).
#pragma once

#include "metadata/IBRNDocPrefs.h"
#include "objectmodel/CPMUnknown.h"

class BRNDocPrefsPrst : public CPMUnknown<IBRNDocPrefs> {
public:
    explicit BRNDocPrefsPrst(Boss* boss) : CPMUnknown<IBRNDocPrefs>(boss) {}
    const uint16& GetState() const override { return fState; }
    void SetState(const uint16& state) override { fState = state; }

private:
    uint16 fState = 0;
};
