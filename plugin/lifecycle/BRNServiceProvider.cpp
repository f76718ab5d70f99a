#include "lifecycle/BRNServiceProvider.h"

#include "objectmodel/HostIDs.h"

BRNServiceProvider::BRNServiceProvider(Boss* boss) : CServiceProvider(boss) {
    fServiceIDs = {kAfterNewDocSignalResponderService,    kAfterOpenDocSignalResponderService,
                   kBeforeCloseDocSignalResponderService, kBeforeSaveDocSignalResponderService,
                   kAfterSaveDocSignalResponderService,   kBeforeSaveAsDocSignalResponderService,
                   kAfterSaveAsDocSignalResponderService};
    if (fServiceIDs.empty()) fServiceIDs.push_back(kInvalidService);
}

void BRNServiceProvider::GetName(PMString* name) {
    if (!name) return;
    *name = PMString("CvZPanel Responder Service");
    name->SetTranslatable(kFalse);
}

ServiceID BRNServiceProvider::GetServiceID() {
    return fServiceIDs.front();
}

void BRNServiceProvider::GetServiceIDs(std::vector<ServiceID>& serviceIDs) {
    serviceIDs.insert(serviceIDs.end(), fServiceIDs.begin(), fServiceIDs.end());
}
