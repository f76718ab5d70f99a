#include "BRNPwdDlgController.h"

#include "BRNID.h"
#include "CVLog.h"
#include "ui/CAlert.h"

void BRNPwdDlgController::InitializeDialog() {
    CV_TRACE("BRNPwdDlgController::InitializeDialog");
    fPackageName = GetDialog()->GetStringData();
    SetTextControlData(kBRNPasswordConfirmWidgetID, PMString());
    SetTextControlData(kBRNPasswordWidgetID, PMString());
    GetDialog()->SetFocus(kBRNPasswordWidgetID);
    CV_RETURN_VOID();
}

WidgetID BRNPwdDlgController::ValidateDialog() {
    CV_TRACE("BRNPwdDlgController::ValidateDialog");
    const PMString password = GetTextControlData(kBRNPasswordWidgetID);
    if (password.IsEmpty()) {
        CAlert::ErrorAlert(PMString("0xA8260BRNErrorEmptyPasswordString"));
        CV_RETURN(static_cast<WidgetID>(kBRNPasswordWidgetID));
    }
    if (GetTextControlData(kBRNPasswordConfirmWidgetID) != password) {
        CAlert::ErrorAlert(PMString("0xA8260BRNErrorVerifyingPasswordString"));
        CV_RETURN(static_cast<WidgetID>(kBRNPasswordConfirmWidgetID));
    }
    CV_RETURN(static_cast<WidgetID>(0));
}

void BRNPwdDlgController::ApplyDialog() {
    PMString password = GetTextControlData(kBRNPasswordWidgetID);
    password.SetTranslatable(kFalse);
    GetDialog()->SetStringData(password);
}
