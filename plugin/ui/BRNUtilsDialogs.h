// The launchers of the plug-in's dialogs. Each builds its dialog, runs it through the host's
// dialog driver (terminal, script or browser) and reads the result when it closes.
#pragma once

#include "model/BRNField.h"
#include "model/BRNPackage.h"
#include "objectmodel/UIDList.h"

#include <vector>

namespace BRNUtils {
// Text the dialogs and the panel show as it stands (names, values, texts made here), which the
// host must not look up as a translation key.
PMString Plain(PMString s);
// The translated text of a key, marked so that it is not translated again.
PMString Translated(const char* key);

// Edits the deadline of a Deadline field; true when the dates were confirmed valid. A
// view-only dialog never changes the field.
bool16 InvokeDeadlineDialog(BRNField& field, bool16 viewOnly);

// Asks for the name of a new package (or of a copy of copyOf). The name, or empty when the
// user cancelled.
PMString InvokePackageDialog(const PMString& copyOf = PMString());
// Asks for a new password of the package, typed twice. True and the password when confirmed.
bool16 InvokeSetPasswordDialog(const PMString& packageName, PMString* password);
// Asks for the password of a protected library package. True and the package unlocked when
// the right password was given; a wrong one is refused and the dialog asks again.
bool16 InvokeEnterPasswordDialog(const PMString& packageName, BRNPackage* unlocked);

// The package editor for the library package: true when the edited list was confirmed and
// stored with a raised version.
bool16 InvokeEditPackageDialog(const PMString& packageName);

// The multi-choice dialog: a check box per choice of the field (its selection checked) and,
// when the field allows them, a box to add values of one's own. True and the checked values
// (choices in their order, then own values) when confirmed.
bool16 InvokeMultiChoiceDialog(const BRNField& field, PMStringList* values);

// The resolve dialog for a package whose version differs from the library's: upgrade the
// targets to the library's version (their values merged), or keep the document's (the library
// takes it when it is newer); the package's enabled flag; in story modes, all stories of the
// document that hold the package. True when something was written.
bool16 InvokeResolveDialog(const BRNPackage& shown, const UIDList& targets, bool16 stories);

// The list of the panel's targets, one line each.
void InvokeTargetListDialog(const std::vector<PMString>& lines);

// The about box (an alert when the maker's logging component is not there).
void InvokeAboutDialog();

// --- The package actions of the panel and of the library commands -----------------------------

// A new package (copyOf empty) or a copy of copyOf (its password is asked first when it has
// one): the package dialog, then the set-password dialog (cancelled: no password). True and
// the new name when the library took it.
bool16 DoNewPackage(const PMString& copyOf, PMString* created);
// The editor for the package, after its password when it has one.
bool16 DoEditPackage(const PMString& packageName);
// How import and export ask for their file: the plug-in's own file dialog (the panel), or the
// host's open and save dialogs (the menu).
enum class FilePrompt { kPluginDialog, kHostDialog };
// Asks for a package file and puts its packages into the library; a package older than the
// library's is refused. True and the first package's name when imported.
bool16 DoImportPackage(PMString* imported, FilePrompt prompt = FilePrompt::kPluginDialog);
// Asks for the file to write the package's definition to (the proposed name in the working
// folder by default). True when written.
bool16 DoExportPackage(const PMString& packageName, FilePrompt prompt = FilePrompt::kPluginDialog);
} // namespace BRNUtils
