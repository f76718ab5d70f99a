#include "WebPanel.h"

#include "WidgetJSON.h"

#include "BRNID.h"
#include "CVLog.h"
#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "documents/HostSelection.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "files/BRNUtils.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "service/BRNBrindleHelpers.h"
#include "session/ISession.h"
#include "session/Utils.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/CAlert.h"
#include "ui/CDialogController.h"
#include "ui/DialogDriver.h"

#include <algorithm>
#include <set>

namespace {

PMString Plain(const std::string& s) {
    PMString p(s);
    p.SetTranslatable(kFalse);
    return p;
}

PMString Plain(PMString p) {
    p.SetTranslatable(kFalse);
    return p;
}

PMString Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return s;
}

// Stored Text values hold a backslash and an n for each line break.
PMString TextShown(const PMString& stored) {
    std::string s = stored.GetUTF8String();
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += s[i];
        }
    }
    return Plain(out);
}

PMString TextStored(const PMString& typed) {
    std::string s = typed.GetUTF8String();
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out += "\\n";
        } else if (s[i] == '\n') {
            out += "\\n";
        } else {
            out += s[i];
        }
    }
    return Plain(out);
}

BRNHistory Who(const PMString& value) {
    ISession* session = GetExecutionContextSession();
    GlobalTime now;
    now.CurrentTime();
    return BRNHistory(session ? session->GetUserName() : PMString(),
                      session ? session->GetUserAlias() : PMString(), now, value);
}

WidgetColor ToWidgetColor(const RGBColor& c) {
    auto channel = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
    return {channel(c.red), channel(c.green), channel(c.blue)};
}

// The multi-choice dialog: a check box per choice and, where the field allows them, the
// user's own values; it stays open until the list passes the entry checks.
enum : WidgetID {
    kOwnValuesWidgetID = 0xA8271,
    kFolderListWidgetID = 0xA8272,
    kFirstChoiceWidgetID = 0xA8400
};

class MultiChoiceController : public CDialogController {
public:
    explicit MultiChoiceController(const BRNField& field) : fField(field) {}
    WidgetID ValidateDialog() override {
        fChosen.clear();
        const PMStringList& options = fField.GetOptions();
        for (size_t i = 0; i < options.size(); ++i) {
            WidgetModel* box = GetDialog()->FindWidget(kFirstChoiceWidgetID + static_cast<WidgetID>(i));
            if (box && box->IsChecked()) fChosen.push_back(options[i]);
        }
        WidgetModel* own = GetDialog()->FindWidget(kOwnValuesWidgetID);
        if (own)
            for (const PMString& v : BRNPackageUtils::SplitMultiChoice(own->GetText()))
                fChosen.push_back(Plain(v));
        for (const PMString& v : fChosen)
            if (!BRNPackageUtils::CheckMultiChoiceText(v)) {
                CAlert::WarningAlert(Translated("0xA8260kBRNMCCommaWarningStringKey"));
                return kOwnValuesWidgetID;
            }
        std::set<std::u16string> seen;
        for (const PMString& v : fChosen)
            if (!seen.insert(v.Units()).second) {
                CAlert::WarningAlert(Translated("0xA8260kBRNDublicatedValueErrorString"));
                return kOwnValuesWidgetID;
            }
        return 0;
    }
    const PMStringList& Chosen() const { return fChosen; }

private:
    const BRNField& fField;
    PMStringList fChosen;
};

} // namespace

WebPanel::WebPanel() : fRoot(kBRNPanelWidgetID, WidgetKind::kGroup) {
    fRoot.SetName("panel");
    fTargetsDropDown =
        fRoot.AddChild(kTargetDropDownWidgetID, WidgetKind::kDropDown, Plain(std::string("Targets")));
    fTargetsDropDown->SetName("targets");
    fTargetsDropDown->SetStringList({Plain(std::string("Document")), Plain(std::string("Selected stories"))});
    fTargetsDropDown->Select(0, false);
    fPackagesDropDown =
        fRoot.AddChild(kBRNPackageDropDownWidgetID, WidgetKind::kDropDown, Plain(std::string("Package")));
    fPackagesDropDown->SetName("package");
    fVersion = fRoot.AddChild(kBRNVersionTextWidgetID, WidgetKind::kStaticText);
    fVersion->SetName("version");
    fConflict = fRoot.AddChild(kConflictTextWidgetID, WidgetKind::kStaticText);
    fConflict->SetName("conflict");
    fConflict->SetText(Plain(std::string("Conflict")), false);
    fConflict->Show(kFalse);
    fApply = fRoot.AddChild(kBRNApplyButtonWidgetID, WidgetKind::kButton, Plain(std::string("Apply")));
    fApply->SetName("apply");
    fReset = fRoot.AddChild(kBRNResetButtonWidgetID, WidgetKind::kButton, Plain(std::string("Reset")));
    fReset->SetName("reset");
    fRefresh = fRoot.AddChild(kBRNRefreshButtonWidgetID, WidgetKind::kButton, Plain(std::string("Refresh")));
    fRefresh->SetName("refresh");
    fRows = fRoot.AddChild(kRowsWidgetID, WidgetKind::kGroup);
    fRows->SetName("rows");
    for (WidgetModel* w : {fTargetsDropDown, fPackagesDropDown, fApply, fReset, fRefresh})
        w->AttachObserver(this);
}

WebPanel::~WebPanel() {
    for (WidgetModel* w : {fTargetsDropDown, fPackagesDropDown, fApply, fReset, fRefresh})
        w->DetachObserver(this);
}

void WebPanel::WidgetChanged(WidgetModel& widget, Change change) {
    // Rows are rebuilt by what the change leads to, so the work waits until the widget's
    // own notification is over.
    if (fLoading || change == kListChanged) return;
    fPending.emplace_back(widget.GetID(), change);
}

bool WebPanel::Apply(const DialogStep& step, std::string* error) {
    fPending.clear();
    if (!DialogDriver::ApplyStep(fRoot, step, error)) return false;
    RunPending();
    return true;
}

void WebPanel::RunPending() {
    std::vector<std::pair<WidgetID, Change>> pending;
    pending.swap(fPending);
    for (const auto& [id, change] : pending) {
        if (id == kTargetDropDownWidgetID) {
            fMode = fTargetsDropDown->GetSelectedIndex() == 1 ? kStoryTargets : kDocumentTargets;
            Load();
        } else if (id == kBRNPackageDropDownWidgetID) {
            fCurrent = Plain(fPackagesDropDown->GetText());
            Load();
        } else if (id == kBRNApplyButtonWidgetID) {
            ApplyPackage();
        } else if (id == kBRNResetButtonWidgetID) {
            Reset();
        } else if (id == kBRNRefreshButtonWidgetID) {
            Load();
        } else if (auto it = fControls.find(id); it != fControls.end()) {
            const Control c = it->second;
            WidgetModel* w = fRoot.FindWidget(id);
            switch (c.role) {
            case Role::kValue:
                if (w) {
                    const PMString typed = w->GetKind() == WidgetKind::kCheckBox
                                               ? Plain(std::string(w->IsChecked() ? "True" : "False"))
                                               : Plain(w->GetText());
                    EditValue(c.field, typed);
                }
                break;
            case Role::kMultiChoice:
                EditMultiChoice(c.field);
                break;
            case Role::kCalculate:
                Calculate(c.field);
                break;
            case Role::kDeadlineRecord:
                EditDeadline(c.field, true);
                break;
            case Role::kDeadlineDialog:
                EditDeadline(c.field, false);
                break;
            case Role::kChooseFolder:
                ChooseFolder(c.field);
                break;
            }
            // The rows were drawn again: the other widget IDs of this batch are stale.
            break;
        }
    }
}

void WebPanel::Load() {
    CV_TRACE("WebPanel::Load");
    fLoading = true;
    IDocument* doc = Host::GetFrontDocument();
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    std::vector<PMString> names;
    if (prefs)
        for (const BRNPackage& p : prefs->GetPackages())
            names.push_back(Plain(p.GetName()));

    fTargets = UIDList();
    if (doc) {
        IDataBase* db = doc->GetDocumentDataBase();
        if (fMode == kDocumentTargets) {
            fTargets = UIDList(UIDRef(db, db->GetRootUID()));
        } else {
            const UIDList selected = Host::GetSelectedStories();
            if (selected.Length() > 0 && selected.GetDataBase() == db) fTargets = selected;
        }
    }
    const BRNPackageList packages =
        fTargets.Length() > 0 ? BRNPackageUtils::ReadPackages(fTargets.GetRef(0)) : BRNPackageList();
    auto inList = [](const BRNPackageList& list, const PMString& name) {
        return std::find_if(list.begin(), list.end(),
                            [&](const BRNPackage& p) { return p.GetName() == name; });
    };
    const bool known = std::find(names.begin(), names.end(), fCurrent) != names.end() ||
                       inList(packages, fCurrent) != packages.end();
    // Another document (or story) in front shows its own package first, not the one chosen
    // for the last.
    const IDataBase* shown = fTargets.Length() > 0 ? fTargets.GetDataBase() : nullptr;
    const bool moved =
        shown != fShownDataBase || (fTargets.Length() > 0 && fTargets.GetRef(0).GetUID() != fShownUID);
    fShownDataBase = shown;
    fShownUID = fTargets.Length() > 0 ? fTargets.GetRef(0).GetUID() : kInvalidUID;
    if (moved && !packages.empty() && inList(packages, fCurrent) == packages.end())
        fCurrent = Plain(packages.front().GetName());
    if (fCurrent.IsEmpty() || !known) {
        if (!packages.empty())
            fCurrent = Plain(packages.front().GetName());
        else if (!names.empty())
            fCurrent = names.front();
        else
            fCurrent = PMString();
    }
    // A package the document holds but the library lacks is still shown, after the library's.
    for (const BRNPackage& p : packages)
        if (std::find(names.begin(), names.end(), p.GetName()) == names.end())
            names.push_back(Plain(p.GetName()));
    fPackagesDropDown->SetStringList(names);
    fPackagesDropDown->Select(fPackagesDropDown->IndexOf(fCurrent), false);
    fPackagesDropDown->Enable(!names.empty());
    fTargetsDropDown->Select(fMode == kStoryTargets ? 1 : 0, false);

    auto found = inList(packages, fCurrent);
    fHasPackage = found != packages.end();
    fPackage = fHasPackage ? *found : BRNPackage();
    const BRNPackage* library = prefs && !fCurrent.IsEmpty() ? prefs->FindPackage(fCurrent) : nullptr;
    if (library)
        fVersion->SetText(Plain("v. " + std::to_string(library->GetVersion())), false);
    else if (!fCurrent.IsEmpty())
        CV_LOG(25, "Package Version not found");
    fConflict->Show(fHasPackage && library && library->GetVersion() != fPackage.GetVersion());
    fApply->Enable(doc != nullptr && fTargets.Length() > 0 && library != nullptr);
    fReset->Enable(doc != nullptr && fMode == kDocumentTargets);
    fRefresh->Enable(doc != nullptr);
    BuildRows();
    fLoading = false;
}

WidgetModel* WebPanel::AddControl(WidgetModel* row, WidgetKind kind, const PMString& label, size_t field,
                                  Role role) {
    WidgetModel* w = row->AddChild(NextID(), kind, label);
    fControls[w->GetID()] = {field, role};
    w->AttachObserver(this);
    return w;
}

void WebPanel::BuildRows() {
    fRows->RemoveChildren();
    fControls.clear();
    fRowList.clear();
    fNextID = kBRNFirstRowWidgetID;
    if (!fHasPackage) return;
    const BRNFieldList& fields = fPackage.GetFields();
    const std::vector<BRNDeadlineColor> colours = [&] {
        for (const BRNField& f : fields)
            if (f.GetType() == kBRNTypeDeadline) return BRNUtils::GetDeadlineColors(fPackage.GetName());
        return std::vector<BRNDeadlineColor>();
    }();
    for (size_t i = 0; i < fields.size(); ++i) {
        const BRNField& f = fields[i];
        if (f.GetHidden()) continue;
        WidgetModel* row = fRows->AddChild(NextID(), WidgetKind::kGroup, Plain(f.GetName()));
        fRowList.push_back({row->GetID(), f});
        WidgetModel* label = row->AddChild(NextID(), WidgetKind::kStaticText);
        label->SetText(Plain(f.GetName()), false);
        const bool editable = !f.GetReadOnly() && f.IsKnownType();
        WidgetModel* value = nullptr;
        switch (f.GetType()) {
        case kBRNTypeBoolean:
            value = AddControl(row, WidgetKind::kCheckBox, PMString(), i, Role::kValue);
            value->SetChecked(f.GetBoolValue(), false);
            break;
        case kBRNTypeChoice:
        case kBRNTypeChoiceString: {
            value = AddControl(
                row, f.GetType() == kBRNTypeChoice ? WidgetKind::kDropDown : WidgetKind::kEditableDropDown,
                PMString(), i, Role::kValue);
            std::vector<PMString> options;
            for (const PMString& o : f.GetOptions())
                options.push_back(Plain(o));
            // An empty value is a choice too: the user may clear the field.
            if (std::find(options.begin(), options.end(), PMString()) == options.end())
                options.insert(options.begin(), PMString());
            value->SetStringList(options);
            const int32 at = value->IndexOf(f.GetValue());
            if (at >= 0)
                value->Select(at, false);
            else
                value->SetText(Plain(f.GetValue()), false);
            break;
        }
        case kBRNTypeDate:
            value = AddControl(row, WidgetKind::kDateEdit, PMString(), i, Role::kValue);
            value->SetText(Plain(f.GetValue()), false);
            break;
        case kBRNTypeText:
            value = AddControl(row, WidgetKind::kEditBox, PMString(), i, Role::kValue);
            value->SetText(TextShown(f.GetValue()), false);
            break;
        case kBRNTypeMultiChoice: {
            value = row->AddChild(NextID(), WidgetKind::kStaticText);
            value->SetText(Plain(BRNPackageUtils::JoinMultiChoice(f.GetSelectedValues())), false);
            WidgetModel* change = AddControl(
                row, WidgetKind::kButton, Translated("0xA8260kBRNMCChangeStringKey"), i, Role::kMultiChoice);
            change->SetName(f.GetName().GetUTF8String() + ":change");
            change->Enable(editable);
            break;
        }
        case kBRNTypeCalculatedString: {
            value = row->AddChild(NextID(), WidgetKind::kEditBox);
            value->SetText(Plain(f.GetValue()), false);
            value->Enable(kFalse);
            WidgetModel* update =
                AddControl(row, WidgetKind::kButton, Plain(std::string("Calculate")), i, Role::kCalculate);
            update->SetName(f.GetName().GetUTF8String() + ":calculate");
            update->Enable(editable);
            break;
        }
        case kBRNTypeDeadline: {
            BRNDeadline d = f.GetDeadline();
            d.Colors = colours;
            const char* lines[3][2] = {
                {"Planned for: ", "planned"}, {"Executed on: ", "executed"}, {"Executed by: ", "by"}};
            const PMString parts[3] = {d.PlannedDate, d.ExecutedDate, d.ExecutedBy};
            for (int k = 0; k < 3; ++k) {
                WidgetModel* line =
                    row->AddChild(NextID(), WidgetKind::kStaticText, Plain(std::string(lines[k][0])));
                line->SetText(Plain(parts[k]), false);
                line->SetName(f.GetName().GetUTF8String() + ":" + lines[k][1]);
            }
            value = row->AddChild(NextID(), WidgetKind::kColorView);
            value->SetColor(ToWidgetColor(d.GetDeadlineColor()));
            value->SetText(Plain("hours left: " + std::to_string(d.GetHoursLeft())), false);
            WidgetModel* record =
                AddControl(row, WidgetKind::kButton, Plain(std::string("Done")), i, Role::kDeadlineRecord);
            record->SetName(f.GetName().GetUTF8String() + ":done");
            record->Enable(editable);
            WidgetModel* dialog =
                AddControl(row, WidgetKind::kButton, Plain(std::string("Edit…")), i, Role::kDeadlineDialog);
            dialog->SetName(f.GetName().GetUTF8String() + ":edit");
            break;
        }
        default: // String, Integer, Decimal, Directory and types this version does not know
            value = AddControl(row, WidgetKind::kEditBox, PMString(), i, Role::kValue);
            value->SetText(Plain(f.GetValue()), false);
            if (f.GetType() == kBRNTypeDirectory) {
                WidgetModel* choose = AddControl(row, WidgetKind::kButton, Plain(std::string("Choose…")), i,
                                                 Role::kChooseFolder);
                choose->SetName(f.GetName().GetUTF8String() + ":choose");
                choose->Enable(editable);
            }
            break;
        }
        if (value && f.GetType() != kBRNTypeMultiChoice && f.GetType() != kBRNTypeDeadline &&
            f.GetType() != kBRNTypeCalculatedString) {
            value->SetName(f.GetName().GetUTF8String());
            value->Enable(editable);
        }
    }
}

nlohmann::json WebPanel::ToJSON() const {
    nlohmann::json rows = nlohmann::json::object();
    for (const Row& r : fRowList) {
        const BRNField& f = r.field;
        rows[std::to_string(r.group)] = {{"type", f.GetStoredTypeName().IsEmpty()
                                                      ? BRNField::TypeName(f.GetType()).GetUTF8String()
                                                      : f.GetStoredTypeName().GetUTF8String()},
                                         {"typeCode", f.GetType()},
                                         {"required", static_cast<bool>(f.GetRequired())},
                                         {"readOnly", static_cast<bool>(f.GetReadOnly())},
                                         {"description", f.GetDescription().GetUTF8String()}};
    }
    return {{"root", WidgetJSON::Widget(fRoot)},
            {"rows", rows},
            {"mode", fMode},
            {"package", fHasPackage ? nlohmann::json(fPackage.GetName().GetUTF8String()) : nlohmann::json()},
            {"packageVersion", fHasPackage ? nlohmann::json(fPackage.GetVersion()) : nlohmann::json()},
            {"targets", fTargets.Length()}};
}

bool WebPanel::WriteField(size_t index, const std::function<bool(BRNField&)>& change) {
    if (index >= fPackage.GetFields().size()) return false;
    const BRNField& shown = fPackage.GetFields()[index];
    // Checked on a copy first: a change refused (a failing template) writes nothing anywhere.
    BRNPackageList trial{fPackage};
    if (BRNBrindleHelpers::ChangeFields(trial, shown.GetName(), shown.GetType(), change) <= 0) {
        Load();
        return false;
    }
    ICommandSequence* sequence = CmdUtils::BeginCommandSequence();
    if (sequence) sequence->SetName(PMString("0xA8260kBRNUpdateXMPMetaDataCmdStringKey"));
    bool written = true;
    for (int32 t = 0; t < fTargets.Length(); ++t) {
        BRNPackageList packages = BRNPackageUtils::ReadPackages(fTargets.GetRef(t));
        auto p = std::find_if(packages.begin(), packages.end(),
                              [&](const BRNPackage& q) { return q.GetName() == fPackage.GetName(); });
        if (p == packages.end()) continue;
        BRNPackageList one{*p};
        if (BRNBrindleHelpers::ChangeFields(one, shown.GetName(), shown.GetType(), change) <= 0) continue;
        *p = one.front();
        if (BRNPackageUtils::StorePackages(UIDList(fTargets.GetRef(t)), packages, kFalse, kFalse) != kSuccess)
            written = false;
    }
    if (sequence) CmdUtils::EndCommandSequence(sequence);
    Load();
    return written;
}

void WebPanel::EditValue(size_t index, const PMString& typed) {
    if (index >= fPackage.GetFields().size()) return;
    const BRNField& f = fPackage.GetFields()[index];
    PMString value = f.GetType() == kBRNTypeText ? TextStored(typed) : Plain(typed);
    // The entry check of the type shows its alert; the typed text is then not stored and the
    // row shows the stored value again.
    if (!BRNPackageUtils::CheckEntry(f, value)) {
        Load();
        return;
    }
    if (f.GetType() == kBRNTypeChoice && !value.IsEmpty()) {
        const PMStringList& o = f.GetOptions();
        if (std::find(o.begin(), o.end(), value) == o.end()) {
            Load();
            return;
        }
    }
    WriteField(index, [&](BRNField& target) {
        if (!BRNBrindleHelpers::SetValueByType(target, value)) return false;
        BRNBrindleHelpers::AddHistory(target, Who(value));
        return true;
    });
}

void WebPanel::EditMultiChoice(size_t index) {
    if (index >= fPackage.GetFields().size()) return;
    const BRNField field = fPackage.GetFields()[index];
    PMString title = field.GetName();
    title.SetTranslatable(kFalse);
    DialogModel dialog("multi-choice", title);
    const PMStringList& options = field.GetOptions();
    const PMStringList& selected = field.GetSelectedValues();
    for (size_t i = 0; i < options.size(); ++i) {
        WidgetModel* box = dialog.Root().AddChild(kFirstChoiceWidgetID + static_cast<WidgetID>(i),
                                                  WidgetKind::kCheckBox, Plain(options[i]));
        box->SetName("choice" + std::to_string(i + 1));
        box->SetChecked(std::find(selected.begin(), selected.end(), options[i]) != selected.end(), false);
    }
    if (field.GetAllowUserValues()) {
        PMStringList own;
        for (const PMString& v : selected)
            if (std::find(options.begin(), options.end(), v) == options.end()) own.push_back(v);
        WidgetModel* edit =
            dialog.Root().AddChild(kOwnValuesWidgetID, WidgetKind::kEditBox,
                                   Plain(std::string("Values of your own, separated by \", \"")));
        edit->SetName("own");
        edit->SetText(Plain(BRNPackageUtils::JoinMultiChoice(own)), false);
    }
    auto controller = std::make_unique<MultiChoiceController>(field);
    MultiChoiceController* c = controller.get();
    dialog.SetController(std::move(controller));
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) {
        Load();
        return;
    }
    const PMStringList chosen = c->Chosen();
    WriteField(index, [&](BRNField& target) {
        target.SetSelectedValues(chosen, PMString(BRNBrindleHelpers::kMultiChoiceSeparator));
        BRNBrindleHelpers::AddHistory(target, Who(target.GetValue()));
        return true;
    });
}

void WebPanel::EditDeadline(size_t index, bool record) {
    if (index >= fPackage.GetFields().size()) return;
    BRNField edited = fPackage.GetFields()[index];
    if (record) {
        ISession* session = GetExecutionContextSession();
        BRNDeadline d = edited.GetDeadline();
        d.ExecutedBy = Plain(session ? session->GetUserName() : PMString());
        edited.SetDeadline(d);
    } else {
        const bool viewOnly = edited.GetReadOnly();
        if (!BRNUtils::InvokeDeadlineDialog(edited, viewOnly ? kTrue : kFalse) || viewOnly) {
            Load();
            return;
        }
    }
    BRNDeadline result = edited.GetDeadline();
    result.PlannedDate = Plain(result.PlannedDate);
    result.ExecutedDate = Plain(result.ExecutedDate);
    result.ExecutedBy = Plain(result.ExecutedBy);
    WriteField(index, [&](BRNField& target) {
        BRNDeadline d = result;
        d.Colors = target.GetDeadline().Colors;
        target.SetDeadline(d);
        BRNBrindleHelpers::AddHistory(target, Who(target.GetValue()));
        return true;
    });
}

void WebPanel::Calculate(size_t index) {
    if (index >= fPackage.GetFields().size()) return;
    // The field is worked out from the package's other values as they are now.
    BRNField probe = fPackage.GetFields()[index];
    probe.SetFieldOverridden(kFalse);
    if (BRNPackageUtils::UpdateCalculatedField(fPackage, probe) < 0) {
        Load();
        return;
    }
    const PMString value = probe.GetValue();
    WriteField(index, [&](BRNField& target) {
        target.SetFieldOverridden(kFalse);
        target.SetValue(value);
        return true;
    });
}

void WebPanel::ChooseFolder(size_t index) {
    if (index >= fPackage.GetFields().size()) return;
    // The host's folder chooser, for a person at a browser: the served folders and the
    // folders under them (hidden ones and links left out, as in the document list).
    constexpr size_t kMaxFolders = 2000;
    std::vector<PMString> folders;
    for (const std::filesystem::path& root : fFolders) {
        folders.push_back(Plain(root.string()));
        std::error_code ec;
        std::filesystem::recursive_directory_iterator it(
            root, std::filesystem::directory_options::skip_permission_denied, ec);
        for (; !ec && it != std::filesystem::recursive_directory_iterator() && folders.size() < kMaxFolders;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (!name.empty() && name[0] == '.') {
                if (it->is_directory(ec)) it.disable_recursion_pending();
                continue;
            }
            if (it->is_symlink(ec) || !it->is_directory(ec)) continue;
            folders.push_back(Plain(it->path().string()));
        }
    }
    std::sort(folders.begin(), folders.end(),
              [](const PMString& a, const PMString& b) { return a.GetUTF8String() < b.GetUTF8String(); });
    DialogModel dialog("folder", Plain(std::string("Choose a Folder")));
    WidgetModel* list =
        dialog.Root().AddChild(kFolderListWidgetID, WidgetKind::kTreeView, Plain(std::string("Folder")));
    list->SetName("folder");
    list->SetStringList(folders);
    list->Select(list->IndexOf(fPackage.GetFields()[index].GetValue()), false);
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK || list->GetSelectedIndex() < 0) {
        Load();
        return;
    }
    const PMString chosen = Plain(list->GetText());
    WriteField(index, [&](BRNField& target) {
        if (!BRNBrindleHelpers::SetValueByType(target, chosen)) return false;
        BRNBrindleHelpers::AddHistory(target, Who(chosen));
        return true;
    });
}

void WebPanel::ApplyPackage() {
    if (fCurrent.IsEmpty()) return;
    if (fMode == kDocumentTargets)
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, fCurrent, 0);
    else
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToSelectedStories, fCurrent,
                                      BRNPackageUtils::kBRNApplyAllStories);
    Load();
}

void WebPanel::Reset() {
    IDocument* doc = Host::GetFrontDocument();
    if (!doc) return;
    const int16 answer = CAlert::ModalAlert(PMString("0xA8260kBRNResetString"), CAlert::YesButtonString(),
                                            CAlert::NoButtonString(), PMString(), 2);
    if (answer == 1) {
        IDataBase* db = doc->GetDocumentDataBase();
        BRNPackageUtils::StorePackages(UIDList(UIDRef(db, db->GetRootUID())), {}, kTrue, kFalse);
    }
    Load();
}
