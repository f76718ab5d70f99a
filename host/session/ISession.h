// The host session: the one object that lives as long as the application.
#pragma once

#include "base/PMString.h"
#include "objectmodel/IPMUnknown.h"

class ISession : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ISESSION };
    virtual PMString GetUserName() const = 0;
    // The short form of the user's name that history entries carry; may be empty.
    virtual PMString GetUserAlias() const = 0;
    // The object of the maker's outside components (the logger among them), referenced,
    // or null when they are not installed.
    virtual IPMUnknown* QueryOutsideComponents() const = 0;
};

// The running session, or null before the host has started or after it stopped.
ISession* GetExecutionContextSession();
