// What the set-metadata command writes: a package list, one field, or only the removal of
// the packages, and whether data of the older namespace is to be removed.
#pragma once

#include "BRNID.h"
#include "model/BRNPackage.h"
#include "objectmodel/IPMUnknown.h"

class IBRNSetXMPCmdData : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IBRNSETXMPCMDDATA };
    virtual void Reset() = 0;
    virtual bool16 GetDeletePackages() const = 0;
    virtual void SetDeletePackages(bool16 deletePackages) = 0;
    virtual bool16 GetSingleField() const = 0;
    virtual void SetSingleField(bool16 singleField, const BRNField& field) = 0;
    virtual BRNField GetField() const = 0;
    virtual bool16 GetPurgeLegacy() const = 0;
    virtual void SetPurgeLegacy(bool16 purge) = 0;
    virtual BRNPackageList GetPackages() const = 0;
    virtual void SetPackages(const BRNPackageList& packages) = 0;
    virtual void AddPackage(const BRNPackage& package) = 0;
};
