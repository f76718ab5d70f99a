// How a person (or a script) works a dialog: one step at a time, until the dialog closes.
#pragma once

#include "ui/DialogModel.h"

#include <optional>
#include <string>

struct DialogStep {
    enum class Kind { kSet, kClick };
    Kind kind = Kind::kClick;
    std::string widget; // a widget's name, or its ID in decimal or 0x hex
    std::string value;  // for kSet, as typed (check boxes take true/false)
};

class IDialogFace {
public:
    virtual ~IDialogFace() = default;
    // The next step for the open dialog, or nullopt to cancel it. refused: the last OK was
    // refused by the dialog's check (its alert has been shown).
    virtual std::optional<DialogStep> NextStep(DialogModel& dialog, bool refused) = 0;
    virtual void DialogOpened(DialogModel&) {}
    virtual void DialogClosed(DialogModel&, bool /*confirmed*/) {}
};
