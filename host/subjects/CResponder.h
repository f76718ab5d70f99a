// Base of responders: responds to nothing.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "subjects/IResponder.h"

class CResponder : public CPMUnknown<IResponder> {
public:
    explicit CResponder(Boss* boss) : CPMUnknown<IResponder>(boss) {}
    void Respond(ISignalMgr* signalMgr) override {}
};
