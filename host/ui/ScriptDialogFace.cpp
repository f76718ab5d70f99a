#include "ui/ScriptDialogFace.h"

bool ScriptDialogFace::Parse(const std::vector<std::string>& words, DialogAnswerScript* out,
                             std::string* error) {
    if (words.empty()) {
        if (error) *error = "answer: name the dialog";
        return false;
    }
    DialogAnswerScript a;
    a.dialog = words[0] == "*" ? std::string() : words[0];
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "--button") {
            if (i + 1 >= words.size()) {
                if (error) *error = "answer: --button needs a button";
                return false;
            }
            a.button = words[++i];
            continue;
        }
        const size_t eq = words[i].find('=');
        if (eq == std::string::npos || eq == 0) {
            if (error) *error = "answer: expected FIELD=VALUE, got " + words[i];
            return false;
        }
        a.values.emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
    }
    *out = std::move(a);
    return true;
}

void ScriptDialogFace::DialogOpened(DialogModel& dialog) {
    fSteps.clear();
    fOpened.push_back(dialog.GetName());
}

std::optional<DialogStep> ScriptDialogFace::NextStep(DialogModel& dialog, bool refused) {
    // After a refusal the rest of that attempt is dropped: the next answer is a new attempt.
    if (refused) fSteps.clear();
    if (fSteps.empty()) {
        if (fAnswers.empty()) return std::nullopt;
        const DialogAnswerScript& a = fAnswers.front();
        if (!a.dialog.empty() && a.dialog != dialog.GetName()) return std::nullopt;
        for (const auto& [field, value] : a.values)
            fSteps.push_back({DialogStep::Kind::kSet, field, value});
        fSteps.push_back({DialogStep::Kind::kClick, a.button, {}});
        fAnswers.pop_front();
    }
    DialogStep s = fSteps.front();
    fSteps.pop_front();
    return s;
}
