// The package editor's launcher, the dialogs the panel opens beside it (multi-choice, resolve,
// target list, about, import, export) and the package actions built from them.
#include "BRNUtilsDialogs.h"

#include "BRNDialogController.h"
#include "BRNDialogObserver.h"
#include "BRNID.h"
#include "CVLog.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "files/BRNUtils.h"
#include "io/FileUtils.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "session/ISession.h"
#include "ui/CAlert.h"
#include "ui/CDialogController.h"
#include "ui/CDialogObserver.h"
#include "ui/DialogDriver.h"
#include "ui/HostDialogs.h"

#include <algorithm>
#include <filesystem>

namespace {

using BRNUtils::Plain;
using BRNUtils::Translated;

WidgetModel* Add(WidgetModel& parent, WidgetID id, WidgetKind kind, const PMString& label, const std::string& name) {
    WidgetModel* w = parent.AddChild(id, kind, label);
    w->SetName(name);
    return w;
}

WidgetModel* Add(DialogModel& d, WidgetID id, WidgetKind kind, const char* label, const std::string& name) {
    return Add(d.Root(), id, kind, Plain(PMString(label)), name);
}

// --- Multi-choice ---------------------------------------------------------------------------

class MultiChoiceObserver : public CDialogObserver {
public:
    MultiChoiceObserver(bool16 ownValues, PMStringList* values) : fOwnValues(ownValues), fValues(values) {}
    void AutoAttach() override {
        AttachWidget(kBRNMultiChoiceAddWidgetID);
        AttachWidget(kOKButtonWidgetID);
    }
    void AutoDetach() override {
        DetachWidget(kBRNMultiChoiceAddWidgetID);
        DetachWidget(kOKButtonWidgetID);
    }
    void Update(WidgetModel& widget, Change change) override {
        if (change != kClicked) return;
        DialogModel* d = GetDialog();
        if (widget.GetID() == kBRNMultiChoiceAddWidgetID) {
            Add(*d);
            return;
        }
        if (widget.GetID() != kOKButtonWidgetID) return;
        // A value still typed in the box counts as added.
        if (!d->FindWidget(kBRNMultiChoiceOwnValueWidgetID)->GetText().IsEmpty() && !Add(*d)) {
            d->KeepOpen();
            return;
        }
        fValues->clear();
        for (auto& c : d->Root().GetChildren())
            if (c->GetKind() == WidgetKind::kCheckBox && c->IsChecked()) fValues->push_back(Plain(c->GetLabel()));
    }

private:
    // Adds the typed value as a checked box of its own; false (alerted) when it is refused.
    bool Add(DialogModel& d) {
        WidgetModel* box = d.FindWidget(kBRNMultiChoiceOwnValueWidgetID);
        const PMString value = Plain(box->GetText());
        if (!fOwnValues || value.IsEmpty()) return true;
        if (!BRNPackageUtils::CheckMultiChoiceText(value)) {
            CAlert::WarningAlert(PMString("0xA8260kBRNMCCommaWarningStringKey"));
            d.SetFocus(kBRNMultiChoiceOwnValueWidgetID);
            return false;
        }
        for (auto& c : d.Root().GetChildren())
            if (c->GetKind() == WidgetKind::kCheckBox && c->GetLabel() == value) {
                CAlert::WarningAlert(PMString("0xA8260kBRNDublicatedValueErrorString"));
                d.SetFocus(kBRNMultiChoiceOwnValueWidgetID);
                return false;
            }
        WidgetID id = kBRNMultiChoiceFirstOptionWidgetID;
        for (auto& c : d.Root().GetChildren())
            if (c->GetKind() == WidgetKind::kCheckBox) id = std::max(id, c->GetID() + 1);
        WidgetModel* added = ::Add(d.Root(), id, WidgetKind::kCheckBox, value, value.GetUTF8String());
        added->SetChecked(kTrue, false);
        box->SetText(PMString(), false);
        return true;
    }

    bool16 fOwnValues;
    PMStringList* fValues;
};

// --- Resolve ---------------------------------------------------------------------------------

enum { kUpgrade = 0, kKeep = 1 };

// --- Import and export: a file name asked in a dialog ----------------------------------------

class FileController : public CDialogController {
public:
    explicit FileController(std::function<bool16(const PMString&)> check) : fCheck(std::move(check)) {}
    WidgetID ValidateDialog() override {
        const PMString file = GetTextControlData(kBRNFileWidgetID);
        if (file.IsEmpty() || !fCheck(file)) return kBRNFileWidgetID;
        return 0;
    }

private:
    std::function<bool16(const PMString&)> fCheck;
};

void ShowPlainAlert(const std::string& text) {
    CAlert::WarningAlert(Plain(PMString(text)));
}

} // namespace

namespace BRNUtils {

bool16 InvokeEditPackageDialog(const PMString& packageName) {
    CV_TRACE("BRNUtils::InvokeEditPackageDialog");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    const BRNPackage* package = prefs ? prefs->FindPackage(packageName) : nullptr;
    if (!package) {
        CV_LOG(30, "InvokeEditPackageDialog: no such package");
        CV_RETURN(kFalse);
    }
    BRNFieldList fields = package->GetFields();
    DialogModel dialog("editor", Plain(packageName));
    WidgetModel& r = dialog.Root();
    Add(dialog, kBRNEditorFieldListWidgetID, WidgetKind::kTreeView, "Fields", "fields");
    Add(dialog, kBRNEditorAddFieldWidgetID, WidgetKind::kButton, "Add field", "add");
    Add(dialog, kBRNEditorRemoveFieldWidgetID, WidgetKind::kButton, "Remove field", "remove");
    Add(dialog, kBRNEditorFieldUpWidgetID, WidgetKind::kButton, "Up", "up");
    Add(dialog, kBRNEditorFieldDownWidgetID, WidgetKind::kButton, "Down", "down");
    Add(dialog, kBRNEditorNameWidgetID, WidgetKind::kEditBox, "Name", "name");
    Add(dialog, kBRNEditorShortNameWidgetID, WidgetKind::kEditBox, "Short name", "shortName");
    Add(dialog, kBRNEditorDescriptionWidgetID, WidgetKind::kEditBox, "Description", "description");
    WidgetModel* type = Add(dialog, kBRNEditorTypeWidgetID, WidgetKind::kDropDown, "Type", "type");
    std::vector<PMString> menu;
    for (int32 i = 0; i < BRNDialogObserver::kMenuEntries; ++i)
        menu.push_back(Translated(BRNDialogObserver::MenuKey(i)));
    type->SetStringList(menu);
    Add(dialog, kBRNEditorRequiredWidgetID, WidgetKind::kCheckBox, "Required", "required");
    Add(dialog, kBRNEditorHiddenWidgetID, WidgetKind::kCheckBox, "Hidden", "hidden");
    Add(dialog, kBRNEditorReadOnlyWidgetID, WidgetKind::kCheckBox, "Read-only", "readOnly");
    Add(dialog, kBRNEditorUserValuesWidgetID, WidgetKind::kCheckBox, "Own values allowed", "userValues");
    Add(dialog, kBRNEditorDefaultWidgetID, WidgetKind::kEditBox, "Default", "default");
    Add(dialog, kBRNEditorLinesWidgetID, WidgetKind::kEditBox, "Visible lines", "lines");
    Add(dialog, kBRNEditorValueListWidgetID, WidgetKind::kTreeView, "Values", "values");
    Add(dialog, kBRNEditorValueWidgetID, WidgetKind::kEditBox, "Value", "value");
    Add(dialog, kBRNEditorAddValueWidgetID, WidgetKind::kButton, "Add value", "addValue");
    Add(dialog, kBRNEditorRemoveValueWidgetID, WidgetKind::kButton, "Remove value", "removeValue");
    Add(dialog, kBRNEditorValueUpWidgetID, WidgetKind::kButton, "Value up", "valueUp");
    Add(dialog, kBRNEditorValueDownWidgetID, WidgetKind::kButton, "Value down", "valueDown");
    Add(dialog, kBRNEditorDefaultValuesWidgetID, WidgetKind::kEditBox, "Selected by default", "defaults");
    Add(dialog, kBRNEditorPlannedWidgetID, WidgetKind::kDateEdit, "Planned for", "planned");
    Add(dialog, kBRNEditorExecutedWidgetID, WidgetKind::kDateEdit, "Executed on", "executed");
    Add(dialog, kBRNEditorExecutedByWidgetID, WidgetKind::kEditBox, "Executed by", "executedBy");
    (void)r;
    auto observer = std::make_unique<BRNDialogObserver>(&fields);
    BRNDialogObserver* o = observer.get();
    dialog.SetObserver(std::move(observer));
    dialog.SetController(std::make_unique<BRNDialogController>(Plain(packageName), &fields, o));
    dialog.SetBoolData(kFalse);
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) CV_RETURN(kFalse);
    CV_RETURN(dialog.GetBoolData());
}

bool16 InvokeMultiChoiceDialog(const BRNField& field, PMStringList* values) {
    CV_TRACE("BRNUtils::InvokeMultiChoiceDialog");
    DialogModel dialog("multichoice", Plain(field.GetName()));
    WidgetID id = kBRNMultiChoiceFirstOptionWidgetID;
    const PMStringList& selected = field.GetSelectedValues();
    auto box = [&](const PMString& v) {
        WidgetModel* w = Add(dialog.Root(), id++, WidgetKind::kCheckBox, Plain(v), v.GetUTF8String());
        w->SetChecked(std::find(selected.begin(), selected.end(), v) != selected.end() ? kTrue : kFalse, false);
    };
    for (const PMString& v : field.GetOptions())
        box(v);
    // Own values chosen before stay offered.
    if (field.GetAllowUserValues())
        for (const PMString& v : selected)
            if (std::find(field.GetOptions().begin(), field.GetOptions().end(), v) == field.GetOptions().end())
                box(v);
    WidgetModel* own = Add(dialog, kBRNMultiChoiceOwnValueWidgetID, WidgetKind::kEditBox, "Own value", "own");
    WidgetModel* add = Add(dialog, kBRNMultiChoiceAddWidgetID, WidgetKind::kButton, "Add", "add");
    own->Show(field.GetAllowUserValues());
    add->Show(field.GetAllowUserValues());
    PMStringList chosen;
    dialog.SetObserver(std::make_unique<MultiChoiceObserver>(field.GetAllowUserValues(), &chosen));
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) CV_RETURN(kFalse);
    if (values) *values = chosen;
    CV_RETURN(kTrue);
}

bool16 InvokeResolveDialog(const BRNPackage& shown, const UIDList& targets, bool16 stories) {
    CV_TRACE("BRNUtils::InvokeResolveDialog");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    const BRNPackage* found = prefs ? prefs->FindPackage(shown.GetName()) : nullptr;
    if (!found || targets.IsEmpty()) CV_RETURN(kFalse);
    const BRNPackage library = *found;
    PMString title = Translated("0xA8260kBRNPackageStringKey");
    title.Append(" ");
    title.Append(shown.GetName());
    DialogModel dialog("resolve", Plain(title));
    PMString text("The target holds version ");
    text.AppendNumber(static_cast<int64>(shown.GetVersion()));
    text.Append(", the library version ");
    text.AppendNumber(static_cast<int64>(library.GetVersion()));
    text.Append(".");
    Add(dialog, kBRNResolveTextWidgetID, WidgetKind::kStaticText, "", "text")->SetText(Plain(text), false);
    WidgetModel* action = Add(dialog, kBRNResolveActionWidgetID, WidgetKind::kDropDown, "Action", "action");
    action->SetStringList({Plain(PMString("upgrade")), Plain(PMString("keep"))});
    action->Select(kUpgrade, false);
    WidgetModel* all = Add(dialog.Root(), kBRNResolveAllStoriesWidgetID, WidgetKind::kCheckBox,
                           Translated("0xA8260kBRNCheckToApplyPackageToAllStories"), "all");
    all->Show(stories);
    WidgetModel* enabled = Add(dialog.Root(), kBRNResolveEnabledWidgetID, WidgetKind::kCheckBox,
                               Translated("0xA8260kBRNEnabledStringKey"), "enabled");
    enabled->SetChecked(shown.GetEnabled(), false);
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) CV_RETURN(kFalse);

    UIDList written(targets.GetDataBase());
    if (stories && all->IsChecked()) {
        // Every story of the document that holds the package.
        IDataBase* db = targets.GetDataBase();
        InterfacePtr<IDocument> doc(Instantiate<IDocument>(UIDRef(db, db->GetRootUID())));
        if (doc)
            for (UID uid : doc->GetStoryList())
                if (FindPackage(BRNPackageUtils::ReadPackages(UIDRef(db, uid)), shown.GetName())) written.Append(uid);
    } else {
        written = targets;
    }
    const bool16 on = enabled->IsChecked();
    bool16 changed = kFalse;
    if (action->GetSelectedIndex() == kKeep) {
        // The library takes the document's definition only when it is newer: an older one would
        // undo the library's later edits.
        if (shown.GetVersion() > library.GetVersion()) {
            BRNPackage taken = shown;
            taken.SetModified(kFalse);
            BRNPackageList list = prefs->GetPackages();
            if (BRNPackage* held = FindPackage(list, shown.GetName())) *held = taken;
            prefs->SetPackages(list);
            changed = kTrue;
        }
        for (int32 i = 0; i < written.Length(); ++i) {
            BRNPackageList held = BRNPackageUtils::ReadPackages(written.GetRef(i));
            BRNPackage* own = FindPackage(held, shown.GetName());
            if (!own || own->GetEnabled() == on) continue;
            own->SetEnabled(on);
            if (BRNPackageUtils::StorePackages(UIDList(written.GetRef(i)), held, kFalse, kFalse) == kSuccess)
                changed = kTrue;
        }
        CV_RETURN(changed);
    }
    BRNPackage prepared = library;
    BRNPackageUtils::ApplyDefaults(prepared);
    BRNUtils::ApplyDefaultsFile(prepared);
    for (int32 i = 0; i < written.Length(); ++i) {
        const BRNPackageList held = BRNPackageUtils::ReadPackages(written.GetRef(i));
        const BRNPackage* own = FindPackage(held, shown.GetName());
        if (!own) continue;
        BRNPackage upgraded = prepared;
        BRNPackageUtils::MergeValues(upgraded, *own);
        upgraded.SetEnabled(on);
        if (BRNPackageUtils::WritePackage(upgraded, UIDList(written.GetRef(i))) == kSuccess) changed = kTrue;
    }
    CV_RETURN(changed);
}

void InvokeTargetListDialog(const std::vector<PMString>& lines) {
    CV_TRACE("BRNUtils::InvokeTargetListDialog");
    DialogModel dialog("targets", Plain(PMString("Targets")));
    WidgetModel* list = Add(dialog, kBRNTargetListWidgetID, WidgetKind::kTreeView, "Targets", "list");
    list->SetStringList(lines);
    dialog.FindWidget(kCancelButtonWidgetID)->Show(kFalse);
    DialogDriver::RunModal(dialog);
    CV_RETURN_VOID();
}

void InvokeAboutDialog() {
    CV_TRACE("BRNUtils::InvokeAboutDialog");
    ISession* session = GetExecutionContextSession();
    InterfacePtr<IPMUnknown> components(session ? session->QueryOutsideComponents() : nullptr);
    if (!components) {
        CAlert::ModalAlert(Translated("0xA8260kBRNAboutBoxStringKey"), CAlert::OkButtonString());
        CV_RETURN_VOID();
    }
    DialogModel dialog("about", Translated("0xA8260kBRNAboutDialogTitleKey"));
    Add(dialog, kBRNAboutTextWidgetID, WidgetKind::kStaticText, "", "text")
        ->SetText(Translated("0xA8260kBRNAboutBoxStringKey"), false);
    dialog.FindWidget(kCancelButtonWidgetID)->Show(kFalse);
    DialogDriver::RunModal(dialog);
    CV_RETURN_VOID();
}

bool16 DoNewPackage(const PMString& copyOf, PMString* created) {
    CV_TRACE("BRNUtils::DoNewPackage");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) {
        CV_LOG(30, "DoNewPackage: no settings");
        CV_RETURN(kFalse);
    }
    BRNFieldList fields;
    if (!copyOf.IsEmpty()) {
        const BRNPackage* source = prefs->FindPackage(copyOf);
        if (!source) CV_RETURN(kFalse);
        // A protected definition is copied only by someone who may edit it.
        if (source->HasPassword() && !InvokeEnterPasswordDialog(copyOf, nullptr)) CV_RETURN(kFalse);
        fields = prefs->FindPackage(copyOf)->GetFields();
    }
    const PMString name = InvokePackageDialog(copyOf);
    if (name.IsEmpty()) CV_RETURN(kFalse);
    PMString password;
    InvokeSetPasswordDialog(name, &password);
    password.SetTranslatable(kFalse);
    BRNPackageList library = prefs->GetPackages();
    BRNPackage package(fields, name, password, 0);
    auto at = std::lower_bound(library.begin(), library.end(), name,
                               [](const BRNPackage& a, const PMString& n) { return a.GetName() < n; });
    library.insert(at, package);
    prefs->SetPackages(library);
    if (created) *created = name;
    CV_RETURN(prefs->GetLastSaveSucceeded());
}

bool16 DoEditPackage(const PMString& packageName) {
    CV_TRACE("BRNUtils::DoEditPackage");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    const BRNPackage* package = prefs ? prefs->FindPackage(packageName) : nullptr;
    if (!package) CV_RETURN(kFalse);
    if (package->HasPassword() && !InvokeEnterPasswordDialog(packageName, nullptr)) CV_RETURN(kFalse);
    CV_RETURN(InvokeEditPackageDialog(packageName));
}

bool16 DoImportPackage(PMString* imported, FilePrompt prompt) {
    CV_TRACE("BRNUtils::DoImportPackage");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) CV_RETURN(kFalse);
    // A file that does not read, or holds a package older than the library's, is refused
    // with its reason: an older definition would undo the library's later edits.
    auto acceptable = [&](const PMString& name) -> bool16 {
        PMString why;
        BRNPackageList read;
        if (BRNPackageUtils::ReadImportFile(IDFile(name), read, &why) != 0) {
            ShowPlainAlert(name.GetUTF8String() + ": " + why.GetUTF8String());
            return kFalse;
        }
        for (const BRNPackage& p : read) {
            const BRNPackage* held = prefs->FindPackage(p.GetName());
            if (held && p.GetVersion() < held->GetVersion()) {
                ShowPlainAlert("The library holds a newer version of " + p.GetName().GetUTF8String() + ".");
                return kFalse;
            }
        }
        return kTrue;
    };
    IDFile file;
    if (prompt == FilePrompt::kHostDialog) {
        if (!HostDialogs::ChooseOpenFile(PMString("Import Package"),
                                         {{PMString("XML file"), PMString("xml")}}, &file) ||
            !acceptable(Plain(PMString(file.Path().string()))))
            CV_RETURN(kFalse);
    } else {
        DialogModel dialog("import", Plain(PMString("Import Package")));
        Add(dialog, kBRNFileWidgetID, WidgetKind::kEditBox, "File", "file");
        dialog.SetController(std::make_unique<FileController>(acceptable));
        if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) CV_RETURN(kFalse);
        file = IDFile(dialog.FindWidget(kBRNFileWidgetID)->GetText());
    }
    std::vector<PMString> errors;
    BRNPackageList done;
    if (!BRNPackageUtils::ImportPackageFiles({file}, &errors, &done) || done.empty()) {
        for (const PMString& e : errors)
            CAlert::ErrorAlert(Plain(e));
        CV_RETURN(kFalse);
    }
    if (imported) *imported = done.front().GetName();
    CV_RETURN(kTrue);
}

bool16 DoExportPackage(const PMString& packageName, FilePrompt prompt) {
    CV_TRACE("BRNUtils::DoExportPackage");
    // The host's save dialog is asked by the export itself, which also says when it failed.
    if (prompt == FilePrompt::kHostDialog) CV_RETURN(BRNPackageUtils::doExportPackage(packageName));
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    const BRNPackage* package = prefs ? prefs->FindPackage(packageName) : nullptr;
    if (!package) CV_RETURN(kFalse);
    DialogModel dialog("export", Plain(PMString("Export Package")));
    WidgetModel* file = Add(dialog, kBRNFileWidgetID, WidgetKind::kEditBox, "File", "file");
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    const uint32 version = package->IsModified() ? package->NextVersion() : package->GetVersion();
    file->SetText(Plain(PMString((here / BRNPackageUtils::ProposedFileName(packageName, version).GetUTF8String())
                                     .string())),
                  false);
    dialog.SetController(std::make_unique<FileController>([](const PMString&) -> bool16 { return kTrue; }));
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) CV_RETURN(kFalse);
    DialogAnswer answer;
    answer.kind = DialogAnswer::Kind::kPath;
    answer.path = std::filesystem::path(file->GetText().GetUTF8String());
    HostDialogs::SetSaveFileAnswer(answer);
    const bool16 written = BRNPackageUtils::doExportPackage(packageName);
    HostDialogs::SetSaveFileAnswer(DialogAnswer());
    CV_RETURN(written);
}

} // namespace BRNUtils
