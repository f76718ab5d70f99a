#include "BRNPwdEnterDlgController.h"

#include "BRNID.h"
#include "CVLog.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/CAlert.h"

void BRNPwdEnterDlgController::InitializeDialog() {
    CV_TRACE("BRNPwdEnterDlgController::InitializeDialog");
    SetTextControlData(kBRNPasswordWidgetID, PMString());
    fPackage.reset();
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) {
        CV_LOG(30, "BRNPwdEnterDlgController: no settings");
        CV_RETURN_FAILED();
    }
    if (const BRNPackage* p = prefs->FindPackage(GetDialog()->GetStringData())) fPackage = *p;
    CV_RETURN_VOID();
}

WidgetID BRNPwdEnterDlgController::ValidateDialog() {
    CV_TRACE("BRNPwdEnterDlgController::ValidateDialog");
    if (!fPackage || !fPackage->CheckPassword(GetTextControlData(kBRNPasswordWidgetID))) {
        CAlert::ErrorAlert(PMString("0xA8260BRNErrorIncorrectPasswordString"));
        CV_RETURN(static_cast<WidgetID>(kBRNPasswordWidgetID));
    }
    CV_RETURN(static_cast<WidgetID>(0));
}

void BRNPwdEnterDlgController::ApplyDialog() {
    if (fPackage) fPackage->Unlock(GetTextControlData(kBRNPasswordWidgetID));
}
