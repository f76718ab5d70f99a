// The metadata panel driven as a person would drive it: open it in the running session,
// print it as text, set a row's value, press a widget, choose a package, choose the targets.
// Every front end (the shell, a test) calls these; alerts the panel shows go through the
// session's alert sink ("alert: <text>"), its dialogs through the session's dialog face.
#pragma once

#include "model/BRNPackage.h"

#include <iosfwd>
#include <optional>
#include <string>

class WidgetModel;

namespace PanelCommands {

// Opens the panel (once per session) and shows it; false when the plug-in cannot make it.
bool Open();
// Detaches and forgets the panel; the session should close it before it stops.
void Close();
bool IsOpen();
// The panel's widget tree, or null when it is not open.
WidgetModel* PanelWidget();

// The panel as text: the package with its version and choices, the targets, the status of the
// maker's logging component, "Conflict" when it shows, one line per row (number, label, control
// kind, value; the deadline's colour), and the buttons (a disabled one in brackets).
std::string Render(WidgetModel& panel);

// Each opens the panel when needed and returns 0, or 1 with the reason in error.
int Show(std::ostream& out);
// ROW: a field's name (as the row's label shows it) or its row number.
int Set(const std::string& row, const std::string& value, std::string* error);
// WIDGET: a button's name ("apply", "3.change") or its ID (decimal or 0x hex).
int Click(const std::string& widget, std::string* error);
int Choose(const std::string& package, std::string* error);
// MODE: document, story or assignment.
int Mode(const std::string& mode, std::string* error);
// The about box.
int About();

// What the panel's rows show: the package as the first target holds it (applied), or as the
// library defines it when the target lacks it; no package when no rows are shown.
struct Shown {
    std::optional<BRNPackage> package;
    bool applied = false;
    int32 mode = 0;
    int32 targets = 0;
};
Shown ShownPackage();
// Has the open panel read its targets again (after an undo, which does not tell it as the
// command did).
void Reread();

} // namespace PanelCommands
