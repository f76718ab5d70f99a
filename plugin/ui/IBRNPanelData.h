// What the metadata panel shows and edits: its package list, the targets it was read from
// and writes to, and its target mode. On the panel's boss (kBRNPanelBoss), beside the
// panel's subject; the metadata service finds the panel through the host's panel manager
// (kBRNPanelWidgetID) on every call and works through this interface.
#pragma once

#include "BRNID.h"
#include "model/BRNPackage.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDList.h"

class IBRNPanelData : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IBRNPANELDATA };
    // Target modes: the front document, the selected story, the stories of its assignment.
    enum Mode : int32 { kDocumentMode = 0, kStoryMode = 1, kAssignmentMode = 2 };

    virtual const BRNPackageList& GetPackages() const = 0;
    virtual void SetPackages(const BRNPackageList& packages) = 0;
    virtual int32 GetMode() const = 0;
    // Modes outside 0..2 are not taken.
    virtual void SetMode(int32 mode) = 0;
    // Documents or stories of one database; empty when the panel shows nothing.
    virtual const UIDList& GetTargets() const = 0;
    virtual void SetTargets(const UIDList& targets) = 0;
    // The package the panel holds as current (the menu's package actions work on it); empty
    // when none.
    virtual PMString GetCurrentPackage() const = 0;
    virtual void SetCurrentPackage(const PMString& name) = 0;
};
