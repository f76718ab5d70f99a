#include "BRNDeadlineDialogObserver.h"

#include "BRNID.h"
#include "CVLog.h"
#include "files/BRNUtils.h"
#include "session/ISession.h"

namespace {
constexpr WidgetID kTexts[] = {kBRNDeadlinePlannedWidgetID, kBRNDeadlineExecutedWidgetID,
                               kBRNDeadlineExecutedByWidgetID};

PMString CurrentUserName() {
    ISession* session = GetExecutionContextSession();
    if (!session) return PMString();
    PMString name = session->GetUserAlias();
    if (name.IsEmpty()) name = session->GetUserName();
    name.SetTranslatable(kFalse);
    return name;
}
} // namespace

void BRNDeadlineDialogObserver::initialize() {
    CV_TRACE("BRNDeadlineDialogObserver::initialize");
    if (!fField) {
        CV_LOG(30, "BRNDeadlineDialogObserver: the dialog has no field");
        CV_RETURN_FAILED();
    }
    fDeadline = fField->GetDeadline();
    CV_RETURN_VOID();
}

void BRNDeadlineDialogObserver::AutoAttach() {
    CV_TRACE("BRNDeadlineDialogObserver::AutoAttach");
    initialize();
    for (WidgetID id : kTexts)
        if (!AttachWidget(id)) CV_LOG(30, "BRNDeadlineDialogObserver: a text widget is missing");
    AttachWidget(kOKButtonWidgetID);
    AttachWidget(kCancelButtonWidgetID);
    // Filled after attaching, as the desktop does; the executed-by rule only looks at an
    // empty box, so the fill cannot sign a record that names someone.
    setText(kBRNDeadlinePlannedWidgetID, fDeadline.PlannedDate);
    setText(kBRNDeadlineExecutedByWidgetID, fDeadline.ExecutedBy);
    setText(kBRNDeadlineExecutedWidgetID, fDeadline.ExecutedDate);
    CV_RETURN_VOID();
}

void BRNDeadlineDialogObserver::AutoDetach() {
    for (WidgetID id : kTexts)
        DetachWidget(id);
    DetachWidget(kOKButtonWidgetID);
    DetachWidget(kCancelButtonWidgetID);
}

PMString BRNDeadlineDialogObserver::getText(WidgetID id) const {
    WidgetModel* w = GetDialog() ? GetDialog()->FindWidget(id) : nullptr;
    if (!w) {
        CV_LOG(30, "BRNDeadlineDialogObserver: no widget");
        return PMString();
    }
    PMString s = w->GetText();
    s.SetTranslatable(kFalse);
    return s;
}

void BRNDeadlineDialogObserver::setText(WidgetID id, const PMString& text) {
    WidgetModel* w = GetDialog() ? GetDialog()->FindWidget(id) : nullptr;
    if (!w) {
        CV_LOG(30, "BRNDeadlineDialogObserver: no widget");
        return;
    }
    PMString s = text;
    s.SetTranslatable(kFalse);
    w->SetText(s);
}

void BRNDeadlineDialogObserver::Update(WidgetModel& widget, Change change) {
    DialogModel* dialog = GetDialog();
    if (!dialog) return;
    if (widget.GetID() == kBRNDeadlineExecutedWidgetID && change == kValueChanged) {
        if (getText(kBRNDeadlineExecutedByWidgetID).IsEmpty())
            setText(kBRNDeadlineExecutedByWidgetID, CurrentUserName());
        return;
    }
    if (widget.GetID() != kOKButtonWidgetID || change != kClicked) return;
    CV_TRACE("BRNDeadlineDialogObserver::Update");
    dialog->SetBoolData(kFalse);
    fDeadline.PlannedDate = getText(kBRNDeadlinePlannedWidgetID);
    fDeadline.ExecutedDate = getText(kBRNDeadlineExecutedWidgetID);
    fDeadline.ExecutedBy = getText(kBRNDeadlineExecutedByWidgetID);
    if (!BRNUtils::CheckDeadlineDates(fDeadline.PlannedDate, fDeadline.ExecutedDate)) {
        dialog->SetFocus(kBRNDeadlinePlannedWidgetID);
        dialog->KeepOpen();
        CV_RETURN_VOID();
    }
    if (!fViewOnly && fField) fField->SetDeadline(fDeadline);
    dialog->SetBoolData(kTrue);
    CV_RETURN_VOID();
}
