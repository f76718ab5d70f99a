// The tip a widget shows when the pointer rests on it; on the widget's object.
#pragma once

#include "base/PMString.h"
#include "objectmodel/IPMUnknown.h"

class ITip : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ITIP };
    virtual PMString GetTipText() = 0;
};

// A widget's text, on the widget's object. The host's implementation is
// kHostTextControlDataImpl.
class ITextControlData : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ITEXTCONTROLDATA };
    virtual PMString GetString() const = 0;
    virtual void SetString(const PMString& text) = 0;
};
