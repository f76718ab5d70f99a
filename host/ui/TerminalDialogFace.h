// Asks for a dialog field by field on a terminal: each enabled value widget is shown with its
// current value, an empty line keeps it, a line "!NAME" presses the button NAME, "!cancel"
// cancels; after the last field the dialog is confirmed. End of input cancels.
#pragma once

#include "ui/IDialogFace.h"

#include <deque>
#include <iosfwd>

class TerminalDialogFace : public IDialogFace {
public:
    TerminalDialogFace(std::istream& in, std::ostream& out) : fIn(in), fOut(out) {}
    std::optional<DialogStep> NextStep(DialogModel& dialog, bool refused) override;
    void DialogOpened(DialogModel& dialog) override;

private:
    void Collect(WidgetModel& w);

    std::istream& fIn;
    std::ostream& fOut;
    std::deque<WidgetModel*> fPending;
    bool fAsked = false;
};
