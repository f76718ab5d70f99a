// The document's switch for command notifications: while it is off, commands processed on the
// document do not tell the document's subject before and after they run (so a write made from
// inside an observer does not come back to it).
#pragma once

#include "objectmodel/IPMUnknown.h"

class IDocCommandNotify : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IDOCCOMMANDNOTIFY };
    virtual bool16 GetNotify() const = 0;
    virtual void SetNotify(bool16 notify) = 0;
};
