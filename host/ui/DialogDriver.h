// Runs dialogs modally through the face in use: initialise, let the face work the widgets,
// check on OK (staying open on a failure), apply, close.
#pragma once

#include "ui/IDialogFace.h"

#include <memory>
#include <string>

namespace DialogDriver {
enum class Result { kOK, kCancel };

// The face used by every dialog from now on; without one every dialog is cancelled.
void SetFace(std::shared_ptr<IDialogFace> face);
IDialogFace* GetFace();

Result RunModal(DialogModel& dialog);

// Applies one step as a person would; false (and the reason) when the widget is not there,
// is disabled or hidden, or does not take the value.
bool ApplyStep(WidgetModel& root, const DialogStep& step, std::string* error);

// What went wrong in the last dialog run, when a step could not be applied.
const std::string& LastError();
} // namespace DialogDriver
