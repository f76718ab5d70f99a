// Base of service providers: one service, not the default provider, made anew for each use.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "subjects/IK2ServiceProvider.h"

class CServiceProvider : public CPMUnknown<IK2ServiceProvider> {
public:
    enum InstancePerX { kInstancePerUse = 0, kInstancePerSession = 1 };
    explicit CServiceProvider(Boss* boss) : CPMUnknown<IK2ServiceProvider>(boss) {}
    bool16 IsDefaultServiceProvider() override { return kFalse; }
    int32 GetInstantiationPolicy() override { return kInstancePerUse; }
    bool16 HasMultipleIDs() const override { return kFalse; }
    void GetServiceIDs(std::vector<ServiceID>& serviceIDs) override { serviceIDs.push_back(GetServiceID()); }
};
