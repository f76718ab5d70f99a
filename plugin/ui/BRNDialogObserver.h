// The package editor's observer: the field list on the left, the selected field's attributes,
// its value list and its deadline on the right. Every change goes into the dialog's working
// copy of the field list at once; the controller checks and stores the copy on OK.
#pragma once

#include "model/BRNPackage.h"
#include "ui/CDialogObserver.h"

class BRNDialogObserver : public CDialogObserver {
public:
    // fields: the dialog's working copy, owned by the launcher; it outlives the dialog.
    explicit BRNDialogObserver(BRNFieldList* fields) : fFields(fields) {}
    void AutoAttach() override;
    void AutoDetach() override;
    void Update(WidgetModel& widget, Change change) override;

    // Selects the field (and the value of its list, or -1) and shows it, as a failed check does.
    void SelectEntry(int32 field, int32 value);
    int32 GetSelectedField() const { return fSelected; }

    // The menu of types in the order the editor lists them, and back.
    static int32 TypeOfMenuEntry(int32 entry);
    static int32 MenuEntryOfType(int32 type);
    static const char* MenuKey(int32 entry);
    static constexpr int32 kMenuEntries = 12;

private:
    void Attach(bool attach);
    void ShowFields();
    void ShowField();
    void ShowValues();
    BRNField* Current();
    void Edit(WidgetModel& widget);
    void Click(WidgetID id);
    void SetWidgetText(WidgetID id, const PMString& text);
    void SetWidgetCheck(WidgetID id, bool16 checked);
    PMString NewName(const char* stem, const PMStringList& taken, int32* counter) const;

    BRNFieldList* fFields;
    int32 fSelected = -1;
    int32 fSelectedValue = -1;
    int32 fFieldCounter = 1;
    int32 fValueCounter = 1;
    bool fFilling = false;
};
