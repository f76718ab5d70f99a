// The deadline dialog: planned date, executed date, executed by. Typing an executed date
// into an empty executed-by box signs it with the user's name; OK checks both dates and,
// unless the dialog is view-only, stores the record in the field.
#pragma once

#include "model/BRNField.h"
#include "ui/CDialogObserver.h"

class BRNDeadlineDialogObserver : public CDialogObserver {
public:
    // field: not owned; it outlives the dialog.
    BRNDeadlineDialogObserver(BRNField* field, bool16 viewOnly) : fField(field), fViewOnly(viewOnly) {}
    void initialize();
    void AutoAttach() override;
    void AutoDetach() override;
    void Update(WidgetModel& widget, Change change) override;
    PMString getText(WidgetID id) const;
    void setText(WidgetID id, const PMString& text);

private:
    BRNField* fField;
    bool16 fViewOnly;
    BRNDeadline fDeadline;
};
