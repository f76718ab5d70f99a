#include "PanelCommands.h"

#include "BRNID.h"
#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "session/IPanelMgr.h"
#include "subjects/IObserver.h"
#include "logic/BRNPackageUtils.h"
#include "files/IBRNPrefs.h"
#include "ui/BRNPanelData.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/DialogDriver.h"
#include "ui/IBRNPanelData.h"
#include "ui/IPanelView.h"

#include <cstdio>
#include <ostream>
#include <sstream>

namespace PanelCommands {

namespace {

IPMUnknown* OpenPanel() {
    IPanelMgr* panels = GetPanelManager();
    return panels ? panels->GetPanelFromWidgetID(kBRNPanelWidgetID) : nullptr;
}

std::string Text(const WidgetModel& w) {
    return w.GetText().GetUTF8String();
}

std::string Hex(const WidgetColor& c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.red, c.green, c.blue);
    return buf;
}

// A value on one line: breaks shown as "\n".
std::string OneLine(std::string s) {
    std::string out;
    for (char ch : s) {
        if (ch == '\n')
            out += "\\n";
        else if (ch != '\r')
            out += ch;
    }
    return out;
}

std::string Pad(const std::string& s, size_t width) {
    return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

void RenderRow(const WidgetModel& row, std::ostream& out) {
    const std::string number = row.GetName().substr(3); // "rowN"
    std::string label, kind, value, extra;
    std::vector<std::string> buttons;
    bool enabled = true;
    for (const auto& c : row.GetChildren()) {
        if (c->GetName() == "label" + number) {
            label = Text(*c);
            continue;
        }
        if (c->GetKind() == WidgetKind::kButton) {
            const std::string b = c->GetName();
            buttons.push_back(c->IsEnabled() ? b : "[" + b + "]");
            continue;
        }
        kind = WidgetKindName(c->GetKind());
        enabled = c->IsEnabled() != 0;
        switch (c->GetKind()) {
        case WidgetKind::kCheckBox:
            value = c->IsChecked() ? "true" : "false";
            break;
        case WidgetKind::kColorView: {
            kind = "deadline";
            value = OneLine(Text(*c));
            extra = "colour " + Hex(c->GetColor());
            break;
        }
        case WidgetKind::kDropDown:
        case WidgetKind::kEditableDropDown: {
            value = OneLine(Text(*c));
            std::string choices;
            for (const PMString& s : c->GetStringList())
                choices += (choices.empty() ? "" : "|") + s.GetUTF8String();
            extra = "choices " + choices;
            break;
        }
        default:
            if (c->GetName() == number && row.GetChildren().size() > 1 && c->GetKind() == WidgetKind::kStaticText)
                kind = "multi-choice";
            value = OneLine(Text(*c));
            break;
        }
    }
    out << Pad(number, 4) << Pad(label, 20) << Pad(kind, 20) << (value.empty() ? "-" : value);
    if (!extra.empty()) out << "  (" << extra << ")";
    if (!enabled) out << "  (read-only)";
    if (!buttons.empty()) {
        out << "  buttons:";
        for (const auto& b : buttons)
            out << " " << b;
    }
    out << "\n";
}

} // namespace

bool IsOpen() {
    return OpenPanel() != nullptr;
}

bool Open() {
    if (IsOpen()) return true;
    IPanelMgr* panels = GetPanelManager();
    if (!panels) return false;
    InterfacePtr<IBRNPanelData> data(CreateObject2<IBRNPanelData>(kBRNPanelBoss));
    if (!data) return false;
    panels->RegisterPanel(kBRNPanelWidgetID, data);
    panels->ShowPanelByWidgetID(kBRNPanelWidgetID);
    InterfacePtr<IObserver> observer(data, IID_IOBSERVER);
    InterfacePtr<IObserver> selection(data, IID_IBRNPANELSELECTIONOBSERVER);
    if (observer) observer->AutoAttach();
    if (selection) selection->AutoAttach();
    return observer != nullptr;
}

void Close() {
    IPanelMgr* panels = GetPanelManager();
    IPMUnknown* panel = OpenPanel();
    if (!panels || !panel) return;
    InterfacePtr<IObserver> observer(panel, IID_IOBSERVER);
    InterfacePtr<IObserver> selection(panel, IID_IBRNPANELSELECTIONOBSERVER);
    if (selection) selection->AutoDetach();
    if (observer) observer->AutoDetach();
    panels->HidePanelByWidgetID(kBRNPanelWidgetID);
    panels->UnregisterPanel(kBRNPanelWidgetID);
}

WidgetModel* PanelWidget() {
    IPMUnknown* panel = OpenPanel();
    InterfacePtr<IPanelView> view(panel, IID_IPANELVIEW);
    return view ? view->GetWidget() : nullptr;
}

std::string Render(WidgetModel& panel) {
    std::ostringstream out;
    WidgetModel* package = panel.FindWidget(kBRNPackageDropDownWidgetID);
    WidgetModel* version = panel.FindWidget(kBRNVersionTextWidgetID);
    out << "package: " << (package && !package->GetText().IsEmpty() ? Text(*package) : "(none)");
    if (version && !version->GetText().IsEmpty()) out << "  " << Text(*version);
    if (package && !package->GetStringList().empty()) {
        out << "  (library:";
        for (const PMString& s : package->GetStringList())
            out << " " << s.GetUTF8String();
        out << ")";
    }
    out << "\n";
    if (WidgetModel* status = panel.FindWidget(kBRNStatusTextWidgetID)) out << "target: " << Text(*status) << "\n";
    if (WidgetModel* log = panel.FindWidget(kBRNLogStatusWidgetID)) out << "log: " << Text(*log) << "\n";
    if (WidgetModel* conflict = panel.FindWidget(kBRNConflictWidgetID); conflict && conflict->IsShown())
        out << Text(*conflict) << "\n";
    if (WidgetModel* rows = panel.FindWidget(kBRNRowsWidgetID)) {
        if (!rows->GetText().IsEmpty()) out << Text(*rows) << "\n";
        for (const auto& row : rows->GetChildren())
            if (row->IsShown()) RenderRow(*row, out);
    }
    out << "buttons:";
    for (const auto& c : panel.GetChildren())
        if (c->GetKind() == WidgetKind::kButton && c->IsShown())
            out << " " << (c->IsEnabled() ? c->GetName() : "[" + c->GetName() + "]");
    out << "\n";
    return out.str();
}

int Show(std::ostream& out) {
    if (!Open() || !PanelWidget()) return 1;
    out << Render(*PanelWidget());
    return 0;
}

namespace {
int Failed(std::string* error, const std::string& why) {
    if (error) *error = why;
    return 1;
}

int Step(const DialogStep& step, std::string* error) {
    if (!Open() || !PanelWidget()) return Failed(error, "the panel could not be opened");
    // Each thing a person does on the panel is an undo step of its own, also where the
    // commands it runs would join those of the one before (two edits in one request).
    if (IDocument* front = Host::GetFrontDocument()) CmdUtils::BeginNewUndoStep(front);
    std::string why;
    if (!DialogDriver::ApplyStep(*PanelWidget(), step, &why)) return Failed(error, why);
    return 0;
}
} // namespace

int Set(const std::string& row, const std::string& value, std::string* error) {
    if (!Open() || !PanelWidget()) return Failed(error, "the panel could not be opened");
    WidgetModel* rows = PanelWidget()->FindWidget(kBRNRowsWidgetID);
    const WidgetModel* found = nullptr;
    for (const auto& r : rows->GetChildren()) {
        if (!r->IsShown()) continue;
        if (r->GetName() == "row" + row || r->GetLabel().GetUTF8String() == row) {
            found = r.get();
            break;
        }
    }
    if (!found) return Failed(error, "the panel has no row " + row);
    const std::string number = found->GetName().substr(3);
    for (const auto& c : found->GetChildren()) {
        if (c->GetName() != number) continue;
        if (c->GetKind() == WidgetKind::kStaticText || c->GetKind() == WidgetKind::kColorView)
            return Failed(error, "row " + row + " is changed through its buttons (panel click " + number + ".…)");
        return Step({DialogStep::Kind::kSet, number + "", value}, error) == 0
                   ? 0
                   : Failed(error, "row " + row + ": " + (error ? *error : std::string()));
    }
    return Failed(error, "the panel has no row " + row);
}

int Click(const std::string& widget, std::string* error) {
    return Step({DialogStep::Kind::kClick, widget, {}}, error);
}

int Choose(const std::string& package, std::string* error) {
    return Step({DialogStep::Kind::kSet, "package", package}, error);
}

int Mode(const std::string& mode, std::string* error) {
    if (mode != "document" && mode != "story" && mode != "assignment")
        return Failed(error, "mode: document, story or assignment, not " + mode);
    return Click(mode, error);
}

int About() {
    BRNUtils::InvokeAboutDialog();
    return 0;
}

Shown ShownPackage() {
    Shown shown;
    InterfacePtr<IBRNPanelData> data(OpenPanel(), IID_IBRNPANELDATA);
    WidgetModel* panel = PanelWidget();
    if (!data || !panel) return shown;
    shown.mode = data->GetMode();
    shown.targets = data->GetTargets().Length();
    WidgetModel* dropDown = panel->FindWidget(kBRNPackageDropDownWidgetID);
    const PMString current = dropDown ? dropDown->GetText() : PMString();
    if (current.IsEmpty() || data->GetTargets().IsEmpty()) return shown;
    for (const BRNPackage& p : data->GetPackages())
        if (p.GetName() == current) {
            shown.package = p;
            shown.applied = true;
            return shown;
        }
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (const BRNPackage* library = prefs ? prefs->FindPackage(current) : nullptr) shown.package = *library;
    return shown;
}

void Reread() {
    BRNPanelData::TellPanel(kBRNRefreshMessage);
}

} // namespace PanelCommands
