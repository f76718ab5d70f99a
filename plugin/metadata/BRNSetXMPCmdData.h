// The set-metadata command's data.
#pragma once

#include "metadata/IBRNSetXMPCmdData.h"
#include "objectmodel/CPMUnknown.h"

class BRNSetXMPCmdData : public CPMUnknown<IBRNSetXMPCmdData> {
public:
    explicit BRNSetXMPCmdData(Boss* boss) : CPMUnknown<IBRNSetXMPCmdData>(boss) {}
    void Reset() override {
        fDeletePackages = fSingleField = fPurgeLegacy = kFalse;
        fPackages.clear();
    }
    bool16 GetDeletePackages() const override { return fDeletePackages; }
    void SetDeletePackages(bool16 v) override { fDeletePackages = v ? kTrue : kFalse; }
    bool16 GetSingleField() const override { return fSingleField; }
    void SetSingleField(bool16 v, const BRNField& field) override {
        fSingleField = v ? kTrue : kFalse;
        fField = field;
    }
    BRNField GetField() const override { return fField; }
    bool16 GetPurgeLegacy() const override { return fPurgeLegacy; }
    void SetPurgeLegacy(bool16 v) override { fPurgeLegacy = v ? kTrue : kFalse; }
    BRNPackageList GetPackages() const override { return fPackages; }
    void SetPackages(const BRNPackageList& packages) override { fPackages = packages; }
    void AddPackage(const BRNPackage& package) override { fPackages.push_back(package); }

private:
    bool16 fDeletePackages = kFalse;
    bool16 fSingleField = kFalse;
    bool16 fPurgeLegacy = kFalse;
    BRNPackageList fPackages;
    BRNField fField;
};
