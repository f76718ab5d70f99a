#include "BRNUtilsDialogs.h"

#include "BRNDeadlineDialogObserver.h"
#include "BRNID.h"
#include "BRNPackageDlgController.h"
#include "BRNPwdDlgController.h"
#include "BRNPwdEnterDlgController.h"
#include "CVLog.h"
#include "ui/DialogDriver.h"

namespace {
WidgetModel* AddEdit(DialogModel& d, WidgetID id, WidgetKind kind, const char* label, const char* name) {
    WidgetModel* w = d.Root().AddChild(id, kind, PMString(label));
    w->SetName(name);
    return w;
}
} // namespace

namespace BRNUtils {
PMString Plain(PMString s) {
    s.SetTranslatable(kFalse);
    return s;
}

PMString Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return Plain(s);
}

bool16 InvokeDeadlineDialog(BRNField& field, bool16 viewOnly) {
    CV_TRACE("BRNUtils::InvokeDeadlineDialog");
    PMString title = field.GetName();
    title.SetTranslatable(kFalse);
    DialogModel dialog("deadline", title);
    AddEdit(dialog, kBRNDeadlinePlannedWidgetID, WidgetKind::kDateEdit, "Planned for", "planned");
    AddEdit(dialog, kBRNDeadlineExecutedWidgetID, WidgetKind::kDateEdit, "Executed on", "executed");
    AddEdit(dialog, kBRNDeadlineExecutedByWidgetID, WidgetKind::kEditBox, "Executed by", "executedBy");
    dialog.SetBoolData(kFalse);
    dialog.SetObserver(std::make_unique<BRNDeadlineDialogObserver>(&field, viewOnly));
    DialogDriver::RunModal(dialog);
    CV_RETURN(dialog.GetBoolData());
}

PMString InvokePackageDialog(const PMString& copyOf) {
    CV_TRACE("BRNUtils::InvokePackageDialog");
    PMString title(copyOf.IsEmpty() ? "0xA8260kBRNNewPackageStringKey" : "0xA8260kBRNCopyPackageStringKey");
    title.Translate();
    DialogModel dialog("package", title);
    PMString explanation("0xA8260kBRNPackageDialogStaticTextKey");
    explanation.Translate();
    dialog.Root().AddChild(kBRNPackageStaticTextWidgetID, WidgetKind::kStaticText, explanation);
    AddEdit(dialog, kBRNPackageNameWidgetID, WidgetKind::kEditBox, "Name", "name");
    dialog.SetController(std::make_unique<BRNPackageDlgController>());
    dialog.SetStringData(copyOf);
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) CV_RETURN(PMString());
    CV_RETURN(dialog.GetStringData());
}

bool16 InvokeSetPasswordDialog(const PMString& packageName, PMString* password) {
    CV_TRACE("BRNUtils::InvokeSetPasswordDialog");
    PMString title = packageName;
    title.SetTranslatable(kFalse);
    DialogModel dialog("password", title);
    AddEdit(dialog, kBRNPasswordWidgetID, WidgetKind::kEditBox, "Password", "password");
    AddEdit(dialog, kBRNPasswordConfirmWidgetID, WidgetKind::kEditBox, "Password again", "confirm");
    dialog.SetController(std::make_unique<BRNPwdDlgController>());
    dialog.SetStringData(packageName);
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) CV_RETURN(kFalse);
    if (password) *password = dialog.GetStringData();
    CV_RETURN(kTrue);
}

bool16 InvokeEnterPasswordDialog(const PMString& packageName, BRNPackage* unlocked) {
    CV_TRACE("BRNUtils::InvokeEnterPasswordDialog");
    PMString title = packageName;
    title.SetTranslatable(kFalse);
    DialogModel dialog("enter-password", title);
    AddEdit(dialog, kBRNPasswordWidgetID, WidgetKind::kEditBox, "Password", "password");
    auto controller = std::make_unique<BRNPwdEnterDlgController>();
    BRNPwdEnterDlgController* c = controller.get();
    dialog.SetController(std::move(controller));
    dialog.SetStringData(packageName);
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK || !c->GetPackage() ||
        c->GetPackage()->GetLocked())
        CV_RETURN(kFalse);
    if (unlocked) *unlocked = *c->GetPackage();
    CV_RETURN(kTrue);
}
} // namespace BRNUtils
