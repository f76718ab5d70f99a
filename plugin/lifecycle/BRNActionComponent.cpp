#include "lifecycle/BRNActionComponent.h"

#include "BRNID.h"
#include "CVLog.h"
#include "files/IBRNPrefs.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "session/IPanelMgr.h"
#include "session/ISession.h"
#include "subjects/ISubject.h"
#include "ui/ActionRegistry.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"
#include "ui/IBRNPanelData.h"

#include <algorithm>

namespace {

// The package the panel holds as current; empty without a panel.
PMString CurrentPackage() {
    IPanelMgr* panels = GetPanelManager();
    IPMUnknown* panel = panels ? panels->GetPanelFromWidgetID(kBRNPanelWidgetID) : nullptr;
    InterfacePtr<IBRNPanelData> data(panel, IID_IBRNPANELDATA);
    return data ? data->GetCurrentPackage() : PMString();
}

void About() {
    ISession* session = GetExecutionContextSession();
    InterfacePtr<IPMUnknown> logger(session ? session->QueryOutsideComponents() : nullptr);
    if (logger) {
        PMString title("0xA8260kBRNAboutDialogTitleKey"), text("0xA8260kBRNAboutBoxStringKey");
        title.Translate();
        text.Translate();
        HostDialogs::ShowMessageDialog(title, text);
        return;
    }
    CAlert::ModalAlert(PMString("0xA8260kBRNAboutBoxStringKey"), CAlert::OkButtonString());
}

} // namespace

void BRNActionComponent::DoAction(ActionID actionID) {
    if (actionID < kBRNPrefix || actionID > kBRNPrefix + 12) return;
    switch (actionID) {
    case kBRNAboutActionID:
    case kBRNAbout2ActionID:
        About();
        return;
    case kBRNRefreshActionID: {
        InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
        InterfacePtr<ISubject> subject(prefs, IID_ISUBJECT);
        if (!subject) {
            CV_LOG_FAILED();
            return;
        }
        subject->Change(kBRNRefreshMessage, kBRNProtocol, this);
        return;
    }
    default:
        break;
    }
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) {
        CV_LOG_FAILED();
        return;
    }
    switch (actionID) {
    case kBRNNewPackageActionID:
        BRNUtils::DoNewPackage(PMString(), nullptr);
        break;
    case kBRNDeletePackageActionID: {
        const PMString current = CurrentPackage();
        if (current.IsEmpty()) break;
        BRNPackageList library = prefs->GetPackages();
        auto it = std::find_if(library.begin(), library.end(),
                               [&](const BRNPackage& p) { return p.GetName() == current; });
        if (it != library.end()) library.erase(it);
        prefs->SetPackages(library);
        break;
    }
    case kBRNCopyPackageActionID: {
        const PMString current = CurrentPackage();
        if (!current.IsEmpty()) BRNUtils::DoNewPackage(current, nullptr);
        break;
    }
    case kBRNEditPackageActionID: {
        const PMString current = CurrentPackage();
        if (!current.IsEmpty()) BRNUtils::DoEditPackage(current);
        break;
    }
    case kBRNImportPackageActionID:
        BRNUtils::DoImportPackage(nullptr, BRNUtils::FilePrompt::kHostDialog);
        break;
    case kBRNExportPackageActionID: {
        const PMString current = CurrentPackage();
        if (!current.IsEmpty()) BRNUtils::DoExportPackage(current, BRNUtils::FilePrompt::kHostDialog);
        break;
    }
    case kBRNToggleLatestActionID:
        prefs->SetUseLatestPackage(prefs->GetUseLatestPackage() ? kFalse : kTrue);
        break;
    default:
        break;
    }
}

void BRNActionComponent::UpdateActionStates(ActionStateList* list) {
    CV_TRACE("BRNActionComponent::UpdateActionStates");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs || !list) {
        CV_LOG_FAILED();
        CV_RETURN_VOID();
    }
    for (int32 i = list->Length() - 1; i >= 0; --i) {
        if (list->GetNthAction(i) != kBRNToggleLatestActionID) continue;
        list->SetNthActionState(i, prefs->GetUseLatestPackage()
                                       ? ActionStateList::kEnabledAction | ActionStateList::kSelectedAction
                                       : ActionStateList::kEnabledAction);
    }
    CV_RETURN_VOID();
}

void BRNActionComponent::RegisterActions() {
    struct Entry {
        ActionID id;
        const char* name;
        const char* menu;
    };
    const Entry entries[] = {
        {kBRNAboutActionID, "about", "About Brindle..."},
        {kBRNAbout2ActionID, "about-panel", "Brindle Panel > About Brindle..."},
        {kBRNNewPackageActionID, "new-package", "Brindle Panel > New Package..."},
        {kBRNDeletePackageActionID, "delete-package", "Brindle Panel > Delete Package"},
        {kBRNCopyPackageActionID, "copy-package", "Brindle Panel > Copy Package..."},
        {kBRNEditPackageActionID, "edit-package", "Brindle Panel > Edit Package..."},
        {kBRNImportPackageActionID, "import-package", "Brindle Panel > Import Package..."},
        {kBRNExportPackageActionID, "export-package", "Brindle Panel > Export Package..."},
        {kBRNToggleLatestActionID, "use-latest-package", "Brindle Panel > Always Use Latest Package"},
        {kBRNRefreshActionID, "refresh", "Brindle Panel > Refresh"},
    };
    for (const Entry& e : entries) {
        PMString menu(e.menu);
        menu.SetTranslatable(kFalse);
        ActionRegistry::Register({e.id, e.name, menu, kBRNActionComponentBoss});
    }
}
