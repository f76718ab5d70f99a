// The plug-in's menu actions as shell requests: menu lists them with their states, action
// chooses one. Actions that open dialogs take the answers queued with `answer`.
#include "ShellSession.h"

#include "BRNID.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "session/IPanelMgr.h"
#include "ui/ActionRegistry.h"
#include "ui/HostDialogs.h"
#include "ui/IBRNPanelData.h"

#include <iomanip>

namespace {

std::string StateText(int16 state) {
    if (!(state & ActionStateList::kEnabledAction)) return "disabled";
    return state & ActionStateList::kSelectedAction ? "enabled, checked" : "enabled";
}

// The panel's current package, which the package actions work on; a panel is made when the
// session has none yet.
bool SetCurrentPackage(const std::string& name) {
    IPanelMgr* panels = GetPanelManager();
    if (!panels) return false;
    if (!panels->GetPanelFromWidgetID(kBRNPanelWidgetID)) {
        InterfacePtr<IPMUnknown> panel(CreateObject(kBRNPanelBoss, IID_IBRNPANELDATA));
        if (!panel) return false;
        panels->RegisterPanel(kBRNPanelWidgetID, panel);
    }
    InterfacePtr<IBRNPanelData> data(panels->GetPanelFromWidgetID(kBRNPanelWidgetID), IID_IBRNPANELDATA);
    if (!data) return false;
    PMString package(name);
    package.SetTranslatable(kFalse);
    data->SetCurrentPackage(package);
    return true;
}

} // namespace

void AddShellActionCommands(ShellRegistry& r) {
    r.Add({"menu", "menu", "The plug-in's menu actions and their states",
           [](ShellSession&, const ShellArgs& args, std::ostream& out) {
               if (!args.empty()) return Fail(kExitInput, "menu takes no arguments");
               const ActionStateList states = ActionRegistry::States();
               const auto& all = ActionRegistry::All();
               for (int32 i = 0; i < states.Length(); ++i) {
                   const auto& e = all[static_cast<size_t>(i)];
                   out << std::left << std::setw(20) << e.name << std::setw(18)
                       << StateText(states.GetNthActionState(i)) << UTF8(e.menuText) << "\n";
               }
               return int(kExitOK);
           }});
    r.Add({"action", "action NAME [--package P] [--file PATH]",
           "Choose a menu action; --package makes P the panel's current package, --file answers its file "
           "dialog",
           [](ShellSession&, const ShellArgs& args, std::ostream& out) {
               std::string name, package, file;
               for (size_t i = 0; i < args.size(); ++i) {
                   if ((args[i] == "--package" || args[i] == "--file") && i + 1 < args.size()) {
                       std::string& value = args[i] == "--package" ? package : file;
                       value = args[++i];
                   }
                   else if (name.empty() && args[i].compare(0, 1, "-") != 0)
                       name = args[i];
                   else
                       return Fail(kExitInput, "action: unexpected \"" + args[i] + "\"");
               }
               const ActionEntry* entry = ActionRegistry::Find(name);
               if (!entry) return Fail(kExitInput, "action: no action \"" + name + "\" (menu lists them)");
               if (!package.empty() && !SetCurrentPackage(package))
                   return Fail(kExitIO, "action: the panel could not be made");
               if (!file.empty()) {
                   DialogAnswer answer{DialogAnswer::Kind::kPath, file};
                   HostDialogs::SetOpenFileAnswer(answer);
                   HostDialogs::SetSaveFileAnswer(answer);
               }
               const bool done = ActionRegistry::Do(entry->id);
               if (!file.empty()) {
                   HostDialogs::SetOpenFileAnswer({});
                   HostDialogs::SetSaveFileAnswer({});
               }
               if (!done) return Fail(kExitIO, "action: " + name + " could not be carried out");
               out << "action: " << name << "\n";
               return int(kExitOK);
           }});
}
