// Reacts to the widgets of an open dialog. AutoAttach runs after the controller filled the
// widgets, AutoDetach when the dialog closes.
#pragma once

#include "ui/DialogModel.h"
#include "ui/IWidgetObserver.h"

class CDialogObserver : public IWidgetObserver {
public:
    ~CDialogObserver() override = default;
    void SetDialog(DialogModel* dialog) { fDialog = dialog; }
    DialogModel* GetDialog() const { return fDialog; }

    virtual void AutoAttach() {}
    virtual void AutoDetach() {}
    void WidgetChanged(WidgetModel& widget, Change change) override { Update(widget, change); }
    virtual void Update(WidgetModel& widget, Change change) = 0;

protected:
    // Attaches (or detaches) this observer to the dialog's widget; false when there is none.
    bool AttachWidget(WidgetID id);
    void DetachWidget(WidgetID id);

private:
    DialogModel* fDialog = nullptr;
};
