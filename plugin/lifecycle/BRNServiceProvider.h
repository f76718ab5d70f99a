// Names the document signals our responder answers.
#pragma once

#include "subjects/CServiceProvider.h"

#include <vector>

class BRNServiceProvider : public CServiceProvider {
public:
    explicit BRNServiceProvider(Boss* boss);
    void GetName(PMString* name) override;
    ServiceID GetServiceID() override;
    bool16 HasMultipleIDs() const override { return kTrue; }
    void GetServiceIDs(std::vector<ServiceID>& serviceIDs) override;

private:
    std::vector<ServiceID> fServiceIDs;
};
