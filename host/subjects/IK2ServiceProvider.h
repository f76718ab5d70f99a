// A service provider: names the services (signals) its object answers. The host registers
// the provider's own object as the responder of each service it names.
#pragma once

#include "base/PMString.h"
#include "objectmodel/IPMUnknown.h"

#include <vector>

class IK2ServiceProvider : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IK2SERVICEPROVIDER };
    virtual void GetName(PMString* name) = 0;
    virtual ServiceID GetServiceID() = 0;
    virtual bool16 IsDefaultServiceProvider() = 0;
    virtual int32 GetInstantiationPolicy() = 0;
    virtual bool16 HasMultipleIDs() const = 0;
    virtual void GetServiceIDs(std::vector<ServiceID>& serviceIDs) = 0;
};
