#include "ui/DialogModel.h"

#include "ui/CDialogController.h"
#include "ui/CDialogObserver.h"

DialogModel::DialogModel(const std::string& name, const PMString& title)
    : fName(name), fTitle(title), fRoot(0, WidgetKind::kGroup) {
    WidgetModel* ok = fRoot.AddChild(kOKButtonWidgetID, WidgetKind::kButton, PMString("OK"));
    ok->SetName("OK");
    WidgetModel* cancel = fRoot.AddChild(kCancelButtonWidgetID, WidgetKind::kButton, PMString("Cancel"));
    cancel->SetName("Cancel");
}

DialogModel::~DialogModel() = default;

void DialogModel::SetController(std::unique_ptr<CDialogController> controller) {
    fController = std::move(controller);
    if (fController) fController->SetDialog(this);
}

void DialogModel::SetObserver(std::unique_ptr<CDialogObserver> observer) {
    fObserver = std::move(observer);
    if (fObserver) fObserver->SetDialog(this);
}

PMString CDialogController::GetTextControlData(WidgetID id) const {
    WidgetModel* w = fDialog ? fDialog->FindWidget(id) : nullptr;
    return w ? w->GetText() : PMString();
}

void CDialogController::SetTextControlData(WidgetID id, const PMString& text) {
    if (WidgetModel* w = fDialog ? fDialog->FindWidget(id) : nullptr) w->SetText(text);
}

bool CDialogObserver::AttachWidget(WidgetID id) {
    WidgetModel* w = fDialog ? fDialog->FindWidget(id) : nullptr;
    if (!w) return false;
    w->AttachObserver(this);
    return true;
}

void CDialogObserver::DetachWidget(WidgetID id) {
    if (WidgetModel* w = fDialog ? fDialog->FindWidget(id) : nullptr) w->DetachObserver(this);
}
