// The metadata panel's data: plain values, no behaviour of their own.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "ui/IBRNPanelData.h"

class BRNPanelData : public CPMUnknown<IBRNPanelData> {
public:
    explicit BRNPanelData(Boss* boss) : CPMUnknown<IBRNPanelData>(boss) {}
    const BRNPackageList& GetPackages() const override { return fPackages; }
    void SetPackages(const BRNPackageList& packages) override { fPackages = packages; }
    int32 GetMode() const override { return fMode; }
    void SetMode(int32 mode) override;
    const UIDList& GetTargets() const override { return fTargets; }
    void SetTargets(const UIDList& targets) override { fTargets = targets; }
    PMString GetCurrentPackage() const override { return fCurrentPackage; }
    void SetCurrentPackage(const PMString& name) override { fCurrentPackage = name; }

    // The open panel's data, referenced, or null when no panel is open. Found again on every
    // call: the panel may close at any time.
    static IBRNPanelData* QueryOpenPanel();
    // Sends the change on the plug-in's protocol to the open panel's subject; false when no
    // panel is open.
    static bool16 TellPanel(ClassID change, void* changedBy = nullptr);

private:
    BRNPackageList fPackages;
    int32 fMode = kDocumentMode;
    UIDList fTargets;
    PMString fCurrentPackage;
};
