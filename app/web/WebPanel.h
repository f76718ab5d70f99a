// The metadata panel as the web page shows it: a widget tree over the front document (or the
// selected stories) with the package drop-down, the version, the "Conflict" label, the
// buttons and one row per visible field of the current package, each with the controls of
// its field type. A person's step (a value set, a button clicked) goes through the same
// widget setters a desktop face would use; the panel reacts to the widget change with the
// same entry checks, alerts, commands and undo steps as the one-shot commands.
#pragma once

#include "model/BRNPackage.h"
#include "objectmodel/UIDList.h"

class IDataBase;
#include "ui/IDialogFace.h"
#include "ui/WidgetModel.h"

#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class WebPanel : public IWidgetObserver {
public:
    enum Mode : int32 { kDocumentTargets = 0, kStoryTargets = 1 };
    // The target drop-down: the front document, or the selected stories of it.
    static constexpr WidgetID kTargetDropDownWidgetID = 0xEF202;
    static constexpr WidgetID kConflictTextWidgetID = 0xA8297;
    static constexpr WidgetID kRowsWidgetID = 0xA826F;

    WebPanel();
    ~WebPanel() override;
    WebPanel(const WebPanel&) = delete;
    WebPanel& operator=(const WebPanel&) = delete;

    WidgetModel& Root() { return fRoot; }
    // The folders a Directory field's chooser offers: these and the folders under them.
    void SetFolders(std::vector<std::filesystem::path> roots) { fFolders = std::move(roots); }
    // Re-reads the targets and their packages and draws the rows again.
    void Load();
    // One step of a person on the panel, then whatever the panel does about it. False and
    // the reason when the widget is not there, is disabled, or does not take the value.
    bool Apply(const DialogStep& step, std::string* error);
    // The tree, and per row group what the page needs beyond the widgets: the field's type
    // name and flags.
    nlohmann::json ToJSON() const;
    int32 GetMode() const { return fMode; }
    const UIDList& GetTargets() const { return fTargets; }

    void WidgetChanged(WidgetModel& widget, Change change) override;

private:
    enum class Role { kValue, kMultiChoice, kCalculate, kDeadlineRecord, kDeadlineDialog, kChooseFolder };
    struct Control {
        size_t field = 0;
        Role role = Role::kValue;
    };
    struct Row {
        WidgetID group = 0;
        BRNField field;
    };

    void RunPending();
    void BuildRows();
    WidgetModel* AddControl(WidgetModel* row, WidgetKind kind, const PMString& label, size_t field,
                            Role role);
    WidgetID NextID() { return fNextID++; }
    void EditValue(size_t field, const PMString& typed);
    void EditMultiChoice(size_t field);
    void EditDeadline(size_t field, bool record);
    void Calculate(size_t field);
    void ChooseFolder(size_t field);
    void ApplyPackage();
    void Reset();
    // Writes the change of the current package's field to every target, as one undo step.
    // The change answers false to write nothing.
    bool WriteField(size_t field, const std::function<bool(BRNField&)>& change);

    WidgetModel fRoot;
    WidgetModel* fTargetsDropDown = nullptr;
    WidgetModel* fPackagesDropDown = nullptr;
    WidgetModel* fVersion = nullptr;
    WidgetModel* fConflict = nullptr;
    WidgetModel* fApply = nullptr;
    WidgetModel* fReset = nullptr;
    WidgetModel* fRefresh = nullptr;
    WidgetModel* fRows = nullptr;

    std::vector<std::filesystem::path> fFolders;
    int32 fMode = kDocumentTargets;
    UIDList fTargets;
    PMString fCurrent;
    // The first target of the last load, to see when another one comes in front.
    const IDataBase* fShownDataBase = nullptr;
    UID fShownUID = kInvalidUID;
    bool fHasPackage = false;
    BRNPackage fPackage;
    std::vector<Row> fRowList;
    std::map<WidgetID, Control> fControls;
    WidgetID fNextID = 0;
    bool fLoading = false;
    std::vector<std::pair<WidgetID, Change>> fPending;
};
