// The launchers of the plug-in's dialogs. Each builds its dialog, runs it through the host's
// dialog driver (terminal, script or browser) and reads the result when it closes.
#pragma once

#include "model/BRNField.h"
#include "model/BRNPackage.h"

namespace BRNUtils {
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
} // namespace BRNUtils
