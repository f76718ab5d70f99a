#include "ui/DialogDriver.h"

#include "ui/CDialogController.h"
#include "ui/CDialogObserver.h"

#include <iostream>

namespace {
std::shared_ptr<IDialogFace> gFace;
std::string gLastError;

// A dialog whose check keeps refusing gets no more than this many tries from one face, so a
// script that repeats itself cannot hang the host.
constexpr int kMaxSteps = 10000;

bool ParseBool(const std::string& v, bool16* out) {
    if (v == "true" || v == "True" || v == "yes" || v == "1" || v == "on") {
        *out = kTrue;
        return true;
    }
    if (v == "false" || v == "False" || v == "no" || v == "0" || v == "off") {
        *out = kFalse;
        return true;
    }
    return false;
}
} // namespace

namespace DialogDriver {
void SetFace(std::shared_ptr<IDialogFace> face) {
    gFace = std::move(face);
}
IDialogFace* GetFace() {
    return gFace.get();
}
const std::string& LastError() {
    return gLastError;
}

bool ApplyStep(WidgetModel& root, const DialogStep& step, std::string* error) {
    WidgetModel* w = root.FindWidget(step.widget);
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (!w) return fail("no widget " + step.widget);
    if (!w->IsShown() || !w->IsEnabled()) return fail("widget " + step.widget + " is not enabled");
    if (step.kind == DialogStep::Kind::kClick) {
        if (w->GetKind() != WidgetKind::kButton) return fail("widget " + step.widget + " is not a button");
        w->Click();
        return true;
    }
    const PMString text(step.value);
    switch (w->GetKind()) {
    case WidgetKind::kEditBox:
    case WidgetKind::kDateEdit:
        w->SetText(text);
        return true;
    case WidgetKind::kCheckBox: {
        bool16 b = kFalse;
        if (!ParseBool(step.value, &b)) return fail("widget " + step.widget + " takes true or false");
        w->SetChecked(b);
        return true;
    }
    case WidgetKind::kDropDown:
    case WidgetKind::kTreeView: {
        const int32 i = w->IndexOf(text);
        if (i < 0) return fail("widget " + step.widget + " has no entry " + step.value);
        w->Select(i);
        return true;
    }
    case WidgetKind::kEditableDropDown: {
        const int32 i = w->IndexOf(text);
        if (i >= 0)
            w->Select(i);
        else
            w->SetText(text);
        return true;
    }
    default:
        return fail("widget " + step.widget + " takes no value");
    }
}

Result RunModal(DialogModel& dialog) {
    gLastError.clear();
    CDialogController* controller = dialog.GetController();
    CDialogObserver* observer = dialog.GetObserver();
    if (controller) controller->InitializeDialog();
    if (observer) observer->AutoAttach();
    if (gFace) gFace->DialogOpened(dialog);
    Result result = Result::kCancel;
    bool refused = false;
    for (int n = 0; gFace && n < kMaxSteps; ++n) {
        std::optional<DialogStep> step = gFace->NextStep(dialog, refused);
        if (!step) break;
        refused = false;
        const bool ok = step->kind == DialogStep::Kind::kClick &&
                        dialog.Root().FindWidget(step->widget) == dialog.FindWidget(kOKButtonWidgetID);
        const bool cancel =
            step->kind == DialogStep::Kind::kClick &&
            dialog.Root().FindWidget(step->widget) == dialog.FindWidget(kCancelButtonWidgetID);
        if (cancel) break;
        if (!ApplyStep(dialog.Root(), *step, &gLastError)) {
            std::cerr << "brindle: dialog " << dialog.GetName() << ": " << gLastError << "\n";
            break;
        }
        if (!ok) continue;
        // The observer hears the OK click first (it may refuse), then the controller checks.
        if (dialog.TakeKeepOpen()) {
            refused = true;
            continue;
        }
        if (controller) {
            if (WidgetID failed = controller->ValidateDialog()) {
                dialog.SetFocus(failed);
                refused = true;
                continue;
            }
            controller->ApplyDialog();
        }
        result = Result::kOK;
        break;
    }
    if (observer) observer->AutoDetach();
    if (gFace) gFace->DialogClosed(dialog, result == Result::kOK);
    return result;
}
} // namespace DialogDriver
