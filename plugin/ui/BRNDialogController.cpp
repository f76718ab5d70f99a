#include "BRNDialogController.h"

#include "BRNDialogObserver.h"
#include "BRNID.h"

#include "CVLog.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/CAlert.h"

namespace {
bool16 Refuse(const char* key, int32 field, int32 value, BRNDialogController::Fault* fault) {
    CAlert::ErrorAlert(PMString(key));
    if (fault) *fault = {field, value};
    return kFalse;
}
} // namespace

bool16 BRNDialogController::CheckFields(const BRNPackage& package, const BRNFieldList& fields, Fault* fault) {
    CV_TRACE("BRNDialogController::CheckFields");
    BRNPackage working = package;
    working.SetFields(fields);
    for (size_t i = 0; i < fields.size(); ++i) {
        const BRNField& f = fields[i];
        const int32 at = static_cast<int32>(i);
        if (f.GetName().IsEmpty()) CV_RETURN(Refuse("0xA8260kBRNEmptyFieldNameErrorString", at, -1, fault));
        if (f.GetType() == kBRNTypeDate && BRNPackageUtils::IsInvalidDate(f.GetDefaultValue())) {
            BRNPackageUtils::ShowDateAlert(f.GetName());
            if (fault) *fault = {at, -1};
            CV_RETURN(kFalse);
        }
        if (f.GetType() == kBRNTypeDeadline &&
            (BRNPackageUtils::IsInvalidDate(f.GetDeadline().PlannedDate) ||
             BRNPackageUtils::IsInvalidDate(f.GetDeadline().ExecutedDate))) {
            BRNPackageUtils::ShowDateAlert(f.GetName());
            if (fault) *fault = {at, -1};
            CV_RETURN(kFalse);
        }
        for (size_t j = i + 1; j < fields.size(); ++j) {
            if (fields[j].GetName() == f.GetName())
                CV_RETURN(
                    Refuse("0xA8260kBRNDublicatedFieldNameErrorString", static_cast<int32>(j), -1, fault));
            if (!f.GetShortName().IsEmpty() && fields[j].GetShortName() == f.GetShortName())
                CV_RETURN(Refuse("0xA8260kBRNDublicatedFieldShortNameErrorString", static_cast<int32>(j), -1,
                                 fault));
        }
        if (f.GetType() == kBRNTypeChoice || f.GetType() == kBRNTypeChoiceString) {
            const PMStringList& options = f.GetOptions();
            for (size_t a = 0; a < options.size(); ++a)
                for (size_t b = a + 1; b < options.size(); ++b)
                    if (options[a] == options[b])
                        CV_RETURN(Refuse("0xA8260kBRNDublicatedValueErrorString", at, static_cast<int32>(b),
                                         fault));
        }
        // A template that names a tag the package does not offer would fail on every edit.
        if (f.GetType() == kBRNTypeCalculatedString &&
            !BRNPackageUtils::CheckTags(working, f.GetDefaultValue(), kFalse)) {
            if (fault) *fault = {at, -1};
            CV_RETURN(kFalse);
        }
    }
    CV_RETURN(kTrue);
}

bool16 BRNDialogController::StoreFields(const PMString& packageName, const BRNFieldList& fields,
                                        Fault* fault) {
    CV_TRACE("BRNDialogController::StoreFields");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) {
        CV_LOG(30, "BRNDialogController: no settings");
        CV_RETURN(kFalse);
    }
    BRNPackageList library = prefs->GetPackages();
    BRNPackage* p = FindPackage(library, packageName);
    if (!p || !CheckFields(*p, fields, fault)) CV_RETURN(kFalse);
    p->SetFields(fields);
    p->RaiseVersion();
    prefs->SetPackages(library);
    CV_RETURN(prefs->GetLastSaveSucceeded());
}

WidgetID BRNDialogController::ValidateDialog() {
    CV_TRACE("BRNDialogController::ValidateDialog");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    const BRNPackage* package = prefs ? prefs->FindPackage(fPackageName) : nullptr;
    if (!fFields || !package) {
        CV_LOG(30, "BRNDialogController: no package to edit");
        CV_RETURN(static_cast<WidgetID>(kBRNEditorFieldListWidgetID));
    }
    Fault fault;
    if (CheckFields(*package, *fFields, &fault)) CV_RETURN(static_cast<WidgetID>(0));
    if (fObserver && fault.field >= 0) fObserver->SelectEntry(fault.field, fault.value);
    CV_RETURN(static_cast<WidgetID>(fault.value >= 0 ? kBRNEditorValueListWidgetID : kBRNEditorFieldListWidgetID));
}

void BRNDialogController::ApplyDialog() {
    CV_TRACE("BRNDialogController::ApplyDialog");
    Fault fault;
    const bool16 stored = fFields && StoreFields(fPackageName, *fFields, &fault);
    GetDialog()->SetBoolData(stored);
}
