// The metadata panel: the library's packages in a drop-down, the version of the chosen one,
// one row of controls per field of it with the values of the targets (the front document,
// the selected story, or the stories of its assignment), and the buttons of the package
// operations. Every edit in a row is written at once to all targets in one undo step.
//
// The panel's widget tree lives in the panel object's IPanelView; this observer builds it,
// is attached to every control, and follows the settings' subject (library changes, the
// plug-in's broadcasts, the front document) and the panel object's own subject (the
// metadata service's refreshes).
#pragma once

#include "model/BRNPackage.h"
#include "objectmodel/UIDList.h"
#include "subjects/CObserver.h"
#include "ui/IWidgetObserver.h"
#include "ui/WidgetModel.h"

#include <map>
#include <memory>
#include <vector>

class IBRNPanelData;

class BRNPanelObserver : public CObserver, public IWidgetObserver {
public:
    explicit BRNPanelObserver(Boss* boss);
    ~BRNPanelObserver() override;

    // Panel opened: builds the widgets when there are none, attaches to them, to the
    // settings' subject and to the panel's own, then Initialise.
    void AutoAttach() override;
    // Panel closed: detached from everything.
    void AutoDetach() override;
    void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol, void* changedBy) override;
    void WidgetChanged(WidgetModel& widget, Change change) override;

    // Reload: the drop-down from the library, then Load.
    void Initialise();
    // Targets by mode, their packages, and the rows of the current package.
    void Load();
    // The targets' packages read again and the rows redrawn.
    void Refresh();

    // What a row shows: its field (index in the shown package) and its widgets.
    struct Row {
        int32 field = -1;
        WidgetID group = 0;
        WidgetID label = 0;
        WidgetID value = 0;            // the value control (0 for deadlines)
        std::vector<WidgetID> buttons; // the row's buttons, in order
    };
    const std::vector<Row>& GetRows() const { return fRows; }
    // The row of a widget (any of its controls), or -1.
    int32 RowOfWidget(WidgetID id) const;
    const PMString& GetCurrentPackage() const { return fCurrentPackage; }
    // The package the rows show (the first target's, or the library's when the target lacks
    // it); null when no rows are shown.
    const BRNPackage* GetShownPackage() const;
    bool16 IsConflict() const { return fConflict; }
    // True when the first target does not hold the current package (the rows are then the
    // library's definition, shown disabled until the package is applied).
    bool16 IsNotApplied() const { return fNotApplied; }
    const UIDRef& GetRememberedDocument() const { return fDocument; }
    // The panel's widget tree, or null before AutoAttach.
    WidgetModel* GetPanelWidget() const;

private:
    IBRNPanelData* PanelData() const; // not referenced
    void Build();
    void AttachTo(WidgetModel& w);
    void FillPackageList();
    void DrawRows();
    void AddRow(WidgetModel& rows, const BRNField& field, int32 index);
    WidgetModel* AddControl(WidgetModel& parent, WidgetKind kind, const PMString& label, const std::string& name);
    void RetireRows();
    UIDList BuildTargets();
    void UpdateStatus();
    void PassOn(ClassID change);

    // Row actions.
    void EditValue(int32 row, WidgetModel& widget);
    void RowButton(int32 row, size_t button);
    bool16 WriteField(const BRNField& field);
    void PutBack(int32 row);

    // Panel buttons.
    void Apply();
    void Reset();
    void DeleteFromTargets();
    void CheckTargets();
    void ChooseTarget(int32 mode);
    void Resolve();
    void NewPackage();
    void CopyPackage();
    void EditPackage();
    void ImportPackage();
    void ExportPackage();

    UIDRef fDocument;
    PMString fCurrentPackage;
    std::vector<Row> fRows;
    std::map<WidgetID, int32> fWidgetToRow;
    WidgetID fNextID = 0;
    bool16 fConflict = kFalse;
    bool16 fNotApplied = kFalse;
    // The package the rows show, as read.
    std::unique_ptr<BRNPackage> fShown;
    bool fAttached = false;
    // Widgets taken out of the tree while one of them may still be telling its observers;
    // dropped at the next outermost call.
    std::vector<std::unique_ptr<WidgetModel>> fRetired;
    int32 fDepth = 0;
};
