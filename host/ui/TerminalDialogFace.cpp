#include "ui/TerminalDialogFace.h"

#include <iostream>
#include <string>

void TerminalDialogFace::DialogOpened(DialogModel& dialog) {
    fPending.clear();
    fAsked = false;
    fOut << "== " << dialog.GetTitle().GetUTF8String() << " ==\n";
}

void TerminalDialogFace::Collect(WidgetModel& w) {
    if (!w.IsShown()) return;
    switch (w.GetKind()) {
    case WidgetKind::kEditBox:
    case WidgetKind::kDateEdit:
    case WidgetKind::kCheckBox:
    case WidgetKind::kDropDown:
    case WidgetKind::kEditableDropDown:
    case WidgetKind::kTreeView:
        if (w.IsEnabled() && !w.GetName().empty()) fPending.push_back(&w);
        break;
    default:
        break;
    }
    for (auto& c : w.GetChildren())
        Collect(*c);
}

std::optional<DialogStep> TerminalDialogFace::NextStep(DialogModel& dialog, bool refused) {
    if (refused || !fAsked) {
        fPending.clear();
        Collect(dialog.Root());
        fAsked = true;
    }
    for (;;) {
        if (fPending.empty()) {
            fAsked = false;
            return DialogStep{DialogStep::Kind::kClick, "OK", {}};
        }
        WidgetModel* w = fPending.front();
        fPending.pop_front();
        const std::string label = w->GetLabel().IsEmpty() ? w->GetName() : w->GetLabel().GetUTF8String();
        std::string current = w->GetKind() == WidgetKind::kCheckBox ? (w->IsChecked() ? "true" : "false")
                                                                    : w->GetText().GetUTF8String();
        if (w->GetKind() == WidgetKind::kDropDown || w->GetKind() == WidgetKind::kEditableDropDown ||
            w->GetKind() == WidgetKind::kTreeView) {
            fOut << "  choices:";
            for (const PMString& s : w->GetStringList())
                fOut << " [" << s.GetUTF8String() << "]";
            fOut << "\n";
        }
        fOut << label << " [" << current << "]: " << std::flush;
        std::string line;
        if (!std::getline(fIn, line)) return std::nullopt;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "!cancel") return std::nullopt;
        if (line.size() > 1 && line[0] == '!') {
            fPending.push_front(w);
            return DialogStep{DialogStep::Kind::kClick, line.substr(1), {}};
        }
        if (line.empty()) continue; // kept as it is
        return DialogStep{DialogStep::Kind::kSet, w->GetName(), line};
    }
}
