#include "BRNPackageDlgController.h"

#include "BRNID.h"
#include "CVLog.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/CAlert.h"

void BRNPackageDlgController::InitializeDialog() {
    CV_TRACE("BRNPackageDlgController::InitializeDialog");
    GetDialog()->SetStringData(PMString());
    SetTextControlData(kBRNPackageNameWidgetID, PMString());
    CV_RETURN_VOID();
}

WidgetID BRNPackageDlgController::ValidateDialog() {
    CV_TRACE("BRNPackageDlgController::ValidateDialog");
    const PMString name = GetTextControlData(kBRNPackageNameWidgetID);
    if (name.IsEmpty()) {
        CAlert::ErrorAlert(PMString("0xA8260BRNErrorEmptyPackageString"));
        CV_RETURN(static_cast<WidgetID>(kBRNPackageNameWidgetID));
    }
    // Refused here rather than after closing, so the user can pick another name at once.
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (prefs && prefs->FindPackage(name)) {
        CAlert::ErrorAlert(PMString("0xA8260BRNErrorPackageAlreadyExists"));
        CV_RETURN(static_cast<WidgetID>(kBRNPackageNameWidgetID));
    }
    CV_RETURN(static_cast<WidgetID>(0));
}

void BRNPackageDlgController::ApplyDialog() {
    CV_TRACE("BRNPackageDlgController::ApplyDialog");
    PMString name = GetTextControlData(kBRNPackageNameWidgetID);
    name.SetTranslatable(kFalse);
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) {
        CV_LOG(30, "BRNPackageDlgController: no settings");
        CV_RETURN_FAILED();
    }
    if (prefs->FindPackage(name)) {
        CAlert::ErrorAlert(PMString("0xA8260BRNErrorPackageAlreadyExists"));
        GetDialog()->SetStringData(PMString());
        CV_RETURN_VOID();
    }
    GetDialog()->SetStringData(name);
    CV_RETURN_VOID();
}
