// The package editor's confirmation: the working copy of the field list is checked field by
// field; the first fault is shown, its field (and value) selected, and nothing is stored.
// When every check passes the list goes back into the library package with a raised version.
#pragma once

#include "model/BRNPackage.h"
#include "ui/CDialogController.h"

class BRNDialogController : public CDialogController {
public:
    struct Fault {
        int32 field = -1; // index of the offending field
        int32 value = -1; // index of the offending choice value, or -1
    };
    // Runs the checks in order, showing the first fault's alert. True when all passed.
    static bool16 CheckFields(const BRNPackage& package, const BRNFieldList& fields, Fault* fault);
    // The package with the checked fields, its version raised, stored in the library. False
    // (and nothing stored) when the checks refuse the list.
    static bool16 StoreFields(const PMString& packageName, const BRNFieldList& fields, Fault* fault);
};
