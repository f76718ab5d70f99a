// The dialog's three steps: fill the widgets when it opens, check them when the user
// confirms (naming the widget that failed), and take their values when the check passed.
#pragma once

#include "ui/DialogModel.h"

class CDialogController {
public:
    virtual ~CDialogController() = default;
    void SetDialog(DialogModel* dialog) { fDialog = dialog; }
    DialogModel* GetDialog() const { return fDialog; }

    virtual void InitializeDialog() {}
    // 0 when every widget passed, else the widget that failed (the dialog stays open there).
    virtual WidgetID ValidateDialog() { return 0; }
    virtual void ApplyDialog() {}

protected:
    PMString GetTextControlData(WidgetID id) const;
    void SetTextControlData(WidgetID id, const PMString& text);

private:
    DialogModel* fDialog = nullptr;
};
