// The package editor's confirmation: the working copy of the field list is checked field by
// field; the first fault is shown, its field (and value) selected, and nothing is stored.
// When every check passes the list goes back into the library package with a raised version.
#pragma once

#include "model/BRNPackage.h"
#include "ui/CDialogController.h"

class BRNDialogObserver;

class BRNDialogController : public CDialogController {
public:
    // The editor of the library package: fields is the dialog's working copy (owned by the
    // launcher), observer the dialog's observer that shows it.
    BRNDialogController(const PMString& packageName, BRNFieldList* fields, BRNDialogObserver* observer)
        : fPackageName(packageName), fFields(fields), fObserver(observer) {}
    BRNDialogController() = default;
    // Checks the working copy in order; the first fault is alerted and selected.
    WidgetID ValidateDialog() override;
    // Stores the list into the library with a raised version; the dialog's boolean data tells
    // whether it was stored.
    void ApplyDialog() override;

    struct Fault {
        int32 field = -1; // index of the offending field
        int32 value = -1; // index of the offending choice value, or -1
    };
    // Runs the checks in order, showing the first fault's alert. True when all passed.
    static bool16 CheckFields(const BRNPackage& package, const BRNFieldList& fields, Fault* fault);
    // The package with the checked fields, its version raised, stored in the library. False
    // (and nothing stored) when the checks refuse the list.
    static bool16 StoreFields(const PMString& packageName, const BRNFieldList& fields, Fault* fault);

private:
    PMString fPackageName;
    BRNFieldList* fFields = nullptr;
    BRNDialogObserver* fObserver = nullptr;
};
