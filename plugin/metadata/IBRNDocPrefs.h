// The plug-in's state kept with a document: a one-shot mark that the next change
// notification of these preferences has been handled already.
#pragma once

#include "BRNID.h"
#include "objectmodel/IPMUnknown.h"

class IBRNDocPrefs : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IBRNDOCPREFS };
    virtual const uint16& GetState() const = 0;
    virtual void SetState(const uint16& state) = 0;
};
