// Answers dialogs from answers given in advance, as `--answer` does for alerts. Each answer
// is one attempt at one dialog: the values to set, in order, then the button to press. A
// dialog whose check refuses an attempt takes the next answer; with none left for it, it is
// cancelled.
#pragma once

#include "ui/IDialogFace.h"

#include <deque>
#include <utility>
#include <vector>

struct DialogAnswerScript {
    std::string dialog; // the dialog's name; empty answers any dialog
    std::vector<std::pair<std::string, std::string>> values;
    std::string button = "OK";
};

class ScriptDialogFace : public IDialogFace {
public:
    void Queue(DialogAnswerScript answer) { fAnswers.push_back(std::move(answer)); }
    // Parses "DIALOG FIELD=VALUE... [--button B]" (the shell's answer line, words already
    // split); false and the reason when it does not read.
    static bool Parse(const std::vector<std::string>& words, DialogAnswerScript* out, std::string* error);
    std::optional<DialogStep> NextStep(DialogModel& dialog, bool refused) override;
    void DialogOpened(DialogModel& dialog) override;
    size_t Pending() const { return fAnswers.size(); }
    void Clear() { fAnswers.clear(); }
    // The names of the dialogs opened, in order (tests read what was asked).
    const std::vector<std::string>& Opened() const { return fOpened; }

private:
    std::deque<DialogAnswerScript> fAnswers;
    std::deque<DialogStep> fSteps;
    std::vector<std::string> fOpened;
};
