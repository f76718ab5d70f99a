#include "ui/BRNPanelObserver.h"

#include "BRNID.h"
#include "CVLog.h"
#include "base/GlobalTime.h"
#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "documents/HostSelection.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "files/BRNUtils.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "service/BRNAssignmentHelper.h"
#include "service/BRNSuiteASB.h"
#include "service/IBRNSuite.h"
#include "service/IBrindle.h"
#include "session/ICVLogger.h"
#include "session/ISession.h"
#include "session/Utils.h"
#include "subjects/ISubject.h"
#include "ui/BRNTextColorBackgroundCustomView.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"
#include "ui/IBRNPanelData.h"
#include "ui/IPanelView.h"

#include <algorithm>
#include <functional>

namespace {

using BRNUtils::Plain;
using BRNUtils::Translated;

ISubject* QuerySettingsSubject() {
    ISession* session = GetExecutionContextSession();
    return session ? static_cast<ISubject*>(session->QueryInterface(IID_ISUBJECT)) : nullptr;
}

// Stored text keeps a backslash and n for each line break; the panel shows real breaks.
PMString ShownText(const PMString& stored) {
    std::u16string s = stored.Units();
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size() && s[i + 1] == u'n') {
            out.push_back(u'\n');
            ++i;
        } else {
            out.push_back(s[i]);
        }
    }
    return Plain(PMString(std::move(out)));
}

// The stored form of typed text: every break (CR LF, CR or LF) becomes a backslash and n.
PMString StoredText(const PMString& typed) {
    std::u16string s = typed.Units();
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'\r') {
            if (i + 1 < s.size() && s[i + 1] == u'\n') ++i;
            out += u"\\n";
        } else if (s[i] == u'\n') {
            out += u"\\n";
        } else {
            out.push_back(s[i]);
        }
    }
    return Plain(PMString(std::move(out)));
}

UIDRef RootOf(IDocument* doc) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    return db ? UIDRef(db, db->GetRootUID()) : UIDRef();
}

// Buttons of the panel itself: widget, name shown to scripts, label.
struct PanelButton {
    WidgetID id;
    const char* name;
    const char* label;
};
constexpr PanelButton kButtons[] = {
    {kBRNApplyButtonWidgetID, "apply", "Apply"},
    {kBRNResetButtonWidgetID, "reset", "Reset"},
    {kBRNNewPackageButtonWidgetID, "new", "New..."},
    {kBRNCopyPackageButtonWidgetID, "copy", "Copy..."},
    {kBRNEditPackageButtonWidgetID, "edit", "Edit..."},
    {kBRNDeletePackageButtonWidgetID, "delete", "Delete"},
    {kBRNImportPackageButtonWidgetID, "import", "Import..."},
    {kBRNExportPackageButtonWidgetID, "export", "Export..."},
    {kBRNRefreshButtonWidgetID, "refresh", "Refresh"},
    {kBRNDocumentTargetWidgetID, "document", "Document"},
    {kBRNStoryTargetWidgetID, "story", "Story"},
    {kBRNAssignmentTargetWidgetID, "assignment", "Assignment"},
    {kBRNCheckTargetsWidgetID, "check", "Check targets..."},
    {kBRNResolveButtonWidgetID, "resolve", "Resolve..."},
};

} // namespace

BRNPanelObserver::BRNPanelObserver(Boss* boss) : CObserver(boss) {}

BRNPanelObserver::~BRNPanelObserver() = default;

IBRNPanelData* BRNPanelObserver::PanelData() const {
    InterfacePtr<IBRNPanelData> data(this, IID_IBRNPANELDATA);
    return data.get(); // the panel's own object holds it as long as this observer
}

WidgetModel* BRNPanelObserver::GetPanelWidget() const {
    InterfacePtr<IPanelView> view(this, IID_IPANELVIEW);
    return view ? view->GetWidget() : nullptr;
}

WidgetModel* BRNPanelObserver::AddControl(WidgetModel& parent, WidgetKind kind, const PMString& label,
                                          const std::string& name) {
    WidgetModel* w = parent.AddChild(fNextID++, kind, label);
    w->SetName(name);
    return w;
}

void BRNPanelObserver::Build() {
    InterfacePtr<IPanelView> view(this, IID_IPANELVIEW);
    if (!view) {
        CV_LOG(30, "BRNPanelObserver: the panel has no view");
        return;
    }
    if (view->GetWidget()) return;
    auto root = std::make_unique<WidgetModel>(kBRNPanelWidgetID, WidgetKind::kGroup, Plain(PMString("Brindle")));
    root->SetName("panel");
    WidgetModel* packages = root->AddChild(kBRNPackageDropDownWidgetID, WidgetKind::kDropDown,
                                           Translated("0xA8260kBRNPackageStringKey"));
    packages->SetName("package");
    root->AddChild(kBRNVersionTextWidgetID, WidgetKind::kStaticText)->SetName("version");
    root->AddChild(kBRNStatusTextWidgetID, WidgetKind::kStaticText)->SetName("status");
    root->AddChild(kBRNLogStatusWidgetID, WidgetKind::kStaticText)->SetName("log");
    WidgetModel* conflict = root->AddChild(kBRNConflictWidgetID, WidgetKind::kStaticText, Plain(PMString("Conflict")));
    conflict->SetName("conflict");
    conflict->SetText(Plain(PMString("Conflict")), false);
    conflict->Show(kFalse);
    for (const PanelButton& b : kButtons) {
        WidgetModel* w = root->AddChild(b.id, WidgetKind::kButton, Plain(PMString(b.label)));
        w->SetName(b.name);
    }
    root->FindWidget(kBRNResolveButtonWidgetID)->Show(kFalse);
    root->AddChild(kBRNRowsWidgetID, WidgetKind::kGroup)->SetName("rows");
    view->SetWidget(std::move(root));
}

void BRNPanelObserver::AttachTo(WidgetModel& w) {
    if (w.GetKind() != WidgetKind::kGroup && w.GetKind() != WidgetKind::kStaticText) w.AttachObserver(this);
    for (auto& c : w.GetChildren())
        AttachTo(*c);
}

void BRNPanelObserver::AutoAttach() {
    CV_TRACE("BRNPanelObserver::AutoAttach");
    Build();
    WidgetModel* root = GetPanelWidget();
    if (!root) CV_RETURN_FAILED();
    if (!fAttached) {
        AttachTo(*root);
        InterfacePtr<ISubject> settings(QuerySettingsSubject());
        if (settings) {
            settings->AttachObserver(this, kBRNProtocol);
            settings->AttachObserver(this, IID_IDOCUMENTLIST);
            settings->AttachObserver(this, kCVLoggerProtocol);
            // The document observer's change broadcast: a command touched the document's metadata.
            settings->AttachObserver(this, IID_IBRNDOCCHANGE);
        } else {
            CV_LOG(30, "BRNPanelObserver: no settings subject");
        }
        InterfacePtr<ISubject> own(this, IID_ISUBJECT);
        if (own) own->AttachObserver(this, kBRNProtocol);
        fAttached = true;
    }
    IDocument* front = Host::GetFrontDocument();
    fDocument = RootOf(front);
    Initialise();
    CV_RETURN_VOID();
}

void BRNPanelObserver::AutoDetach() {
    CV_TRACE("BRNPanelObserver::AutoDetach");
    if (!fAttached) CV_RETURN_VOID();
    if (WidgetModel* root = GetPanelWidget()) {
        std::function<void(WidgetModel&)> detach = [&](WidgetModel& w) {
            w.DetachObserver(this);
            for (auto& c : w.GetChildren())
                detach(*c);
        };
        detach(*root);
    }
    InterfacePtr<ISubject> settings(QuerySettingsSubject());
    if (settings) {
        settings->DetachObserver(this, kBRNProtocol);
        settings->DetachObserver(this, IID_IDOCUMENTLIST);
        settings->DetachObserver(this, kCVLoggerProtocol);
        settings->DetachObserver(this, IID_IBRNDOCCHANGE);
    }
    InterfacePtr<ISubject> own(this, IID_ISUBJECT);
    if (own) own->DetachObserver(this, kBRNProtocol);
    fAttached = false;
    CV_RETURN_VOID();
}

void BRNPanelObserver::PassOn(ClassID change) {
    InterfacePtr<ISubject> settings(QuerySettingsSubject());
    if (settings) settings->Change(change, kBRNPassOnProtocol, static_cast<IObserver*>(this));
}

void BRNPanelObserver::Update(const ClassID& theChange, ISubject*, const PMIID& protocol, void* changedBy) {
    if (!fAttached) return;
    ++fDepth;
    if (protocol == IID_IDOCUMENTLIST) {
        const UIDRef front = RootOf(Host::GetFrontDocument());
        if (theChange == kFrontDocClosedMessage) {
            fDocument = front;
            Initialise();
        } else if (theChange == kFrontDocChangedMessage && front != fDocument) {
            fDocument = front;
            Initialise();
        }
    } else if (protocol == kCVLoggerProtocol) {
        if (theChange == kCVLoggerStatusMessage) {
            UpdateStatus();
            PassOn(kCVLoggerStatusMessage);
        }
    } else if (protocol == IID_IBRNDOCCHANGE && theChange == kBRNDocChangedMessage &&
               changedBy != static_cast<IObserver*>(this)) {
        // What the targets hold may have changed under the panel: shown again as they are now.
        // (The panel's own passing-on on this protocol is not taken back in.)
        Refresh();
    } else if (protocol == kBRNProtocol && changedBy != static_cast<IObserver*>(this)) {
        switch (theChange) {
        case kBRNLibraryChangedMessage:
        case kBRNDocPrefsLazyMessage:
            Initialise();
            break;
        case kBRNRefreshMessage:
            Refresh();
            PassOn(theChange);
            break;
        case kBRNPanelModeMessage: {
            // The metadata service set the panel's mode: the settings keep it for the next load.
            InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
            if (prefs && PanelData()) prefs->SetDataType(PanelData()->GetMode());
            Load();
            PassOn(theChange);
            break;
        }
        case 0xA8291:
        case 0xA8292:
            break;
        case 0xA8293:
            DrawRows();
            break;
        case kBRNStoryAppliedMessage:
            // The stories shown may have taken the package.
            Refresh();
            PassOn(theChange);
            break;
        default:
            PassOn(theChange);
            break;
        }
    }
    --fDepth;
}

// --- Initialise and load ----------------------------------------------------------------

void BRNPanelObserver::FillPackageList() {
    WidgetModel* root = GetPanelWidget();
    WidgetModel* dropDown = root ? root->FindWidget(kBRNPackageDropDownWidgetID) : nullptr;
    if (!dropDown) return;
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    std::vector<PMString> names;
    if (prefs)
        for (const BRNPackage& p : prefs->GetPackages())
            names.push_back(Plain(p.GetName()));
    else
        CV_LOG(30, "BRNPanelObserver: no settings");
    dropDown->DetachObserver(this);
    dropDown->SetStringList(names);
    if (names.empty()) {
        dropDown->Enable(kFalse);
        dropDown->Select(-1, false);
        fCurrentPackage.clear();
    } else {
        dropDown->Enable(kTrue);
        int32 at = dropDown->IndexOf(fCurrentPackage);
        if (at < 0) at = 0;
        dropDown->Select(at, false);
        fCurrentPackage = names[static_cast<size_t>(at)];
    }
    dropDown->AttachObserver(this);
}

void BRNPanelObserver::Initialise() {
    CV_TRACE("BRNPanelObserver::Initialise");
    // The current package is the drop-down's choice, kept as it is made (and set by the
    // package actions that make a new one current).
    if (!GetPanelWidget()) CV_RETURN_FAILED();
    FillPackageList();
    Load();
    CV_RETURN_VOID();
}

UIDList BRNPanelObserver::BuildTargets() {
    IBRNPanelData* data = PanelData();
    const int32 mode = data ? data->GetMode() : IBRNPanelData::kDocumentMode;
    IDocument* front = Host::GetFrontDocument();
    if (mode == IBRNPanelData::kDocumentMode) {
        const UIDRef root = RootOf(front);
        return root.GetDataBase() ? UIDList(root) : UIDList();
    }
    // The stories of the layout or text selection; without one, the stories the host has selected.
    UIDList selected = BRNSuiteASB::SelectionStories();
    if (selected.IsEmpty()) selected = Host::GetSelectedStories();
    if (selected.IsEmpty()) return UIDList();
    if (mode != IBRNPanelData::kAssignmentMode) return UIDList(selected.GetRef(0));
    // Every selected story, each followed by the stories of its assignment that are not
    // listed yet: an edit in this mode reaches the whole assignment, not just the selection.
    IDataBase* db = selected.GetDataBase();
    InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(UIDRef(db, db->GetRootUID())));
    UIDList targets(db);
    for (int32 i = 0; i < selected.Length(); ++i) {
        const UID story = selected[i];
        if (!targets.Contains(story)) targets.Append(story);
        const int32 index = assignments ? assignments->FindStory(story) : -1;
        if (index < 0) continue;
        for (UID uid : assignments->GetNthAssignment(index).stories)
            if (!targets.Contains(uid)) targets.Append(uid);
    }
    return targets;
}

void BRNPanelObserver::Load() {
    CV_TRACE("BRNPanelObserver::Load");
    WidgetModel* root = GetPanelWidget();
    IBRNPanelData* data = PanelData();
    if (!root || !data) {
        CV_LOG(30, "BRNPanelObserver: the panel has no widgets or data");
        CV_RETURN_FAILED();
    }
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (prefs) data->SetMode(prefs->GetDataType());
    IDocument* front = Host::GetFrontDocument();
    const bool16 library = prefs && !prefs->GetPackages().empty();
    root->FindWidget(kBRNApplyButtonWidgetID)->Enable(front != nullptr);
    for (WidgetID id : {kBRNEditPackageButtonWidgetID, kBRNExportPackageButtonWidgetID,
                        kBRNDeletePackageButtonWidgetID, kBRNCopyPackageButtonWidgetID})
        root->FindWidget(id)->Enable(library);
    root->FindWidget(kBRNResetButtonWidgetID)->Enable(front != nullptr);
    data->SetTargets(front ? BuildTargets() : UIDList());
    Refresh();
    // Nothing is waiting to be re-read right after a load.
    root->FindWidget(kBRNRefreshButtonWidgetID)->Enable(kFalse);
    WidgetModel* version = root->FindWidget(kBRNVersionTextWidgetID);
    const BRNPackage* current = prefs ? prefs->FindPackage(fCurrentPackage) : nullptr;
    if (current) {
        PMString v("v. ");
        v.AppendNumber(static_cast<int64>(current->GetVersion()));
        version->SetText(Plain(v), false);
    } else {
        CV_LOG(25, "Package Version not found");
    }
    CV_RETURN_VOID();
}

void BRNPanelObserver::Refresh() {
    CV_TRACE("BRNPanelObserver::Refresh");
    IBRNPanelData* data = PanelData();
    if (!data) CV_RETURN_FAILED();
    const UIDList& targets = data->GetTargets();
    data->SetPackages(targets.IsEmpty() ? BRNPackageList() : BRNPackageUtils::ReadPackages(targets.GetRef(0)));
    DrawRows();
    UpdateStatus();
    if (WidgetModel* root = GetPanelWidget()) root->FindWidget(kBRNRefreshButtonWidgetID)->Enable(!targets.IsEmpty());
    CV_RETURN_VOID();
}

void BRNPanelObserver::UpdateStatus() {
    WidgetModel* root = GetPanelWidget();
    IBRNPanelData* data = PanelData();
    if (!root || !data) return;
    PMString status;
    IDocument* front = Host::GetFrontDocument();
    const UIDList& targets = data->GetTargets();
    const char* modes[] = {"document", "story", "assignment"};
    status.Append(modes[std::clamp(data->GetMode(), 0, 2)]);
    status.Append(": ");
    if (!front) {
        status.Append("no document");
    } else if (targets.IsEmpty()) {
        status.Append("no story selected in ");
        status.Append(front->GetName());
    } else if (data->GetMode() == IBRNPanelData::kDocumentMode) {
        status.Append(front->GetName());
    } else {
        for (int32 i = 0; i < targets.Length(); ++i) {
            InterfacePtr<IStoryData> story(Instantiate<IStoryData>(targets.GetRef(i)));
            if (i) status.Append(", ");
            status.Append(story ? story->GetName() : PMString("?"));
        }
        status.Append(" in ");
        status.Append(front->GetName());
    }
    root->FindWidget(kBRNStatusTextWidgetID)->SetText(Plain(status), false);
    // The maker's logging component, as it reports itself now.
    std::string log;
    InterfacePtr<ICVLogger> logger(CVLog::GetLogger());
    const int32 level = logger ? logger->GetLogLevel(CVLog::kProductID) : 0;
    if (!logger)
        log = "not installed";
    else if (level <= 0)
        log = "off";
    else {
        const std::string file = logger->GetLogFile();
        log = "level " + std::to_string(level) + ", to " +
              (file.empty() ? std::string("standard error") : file);
    }
    if (WidgetModel* line = root->FindWidget(kBRNLogStatusWidgetID))
        line->SetText(Plain(PMString(log)), false);
}

// --- Rows -----------------------------------------------------------------------------------

const BRNPackage* BRNPanelObserver::GetShownPackage() const {
    return fShown.get();
}

void BRNPanelObserver::RetireRows() {
    WidgetModel* root = GetPanelWidget();
    WidgetModel* rows = root ? root->FindWidget(kBRNRowsWidgetID) : nullptr;
    if (!rows) return;
    std::function<void(WidgetModel&)> detach = [&](WidgetModel& w) {
        w.DetachObserver(this);
        for (auto& c : w.GetChildren())
            detach(*c);
    };
    for (auto& w : rows->TakeChildren()) {
        detach(*w);
        fRetired.push_back(std::move(w));
    }
    fRows.clear();
    fWidgetToRow.clear();
}

void BRNPanelObserver::DrawRows() {
    if (fDepth == 0) fRetired.clear();
    WidgetModel* root = GetPanelWidget();
    IBRNPanelData* data = PanelData();
    if (!root || !data) return;
    RetireRows();
    fConflict = kFalse;
    fNotApplied = kFalse;
    fShown.reset();
    fNextID = kBRNFirstRowWidgetID;
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    const BRNPackage* library = prefs ? prefs->FindPackage(fCurrentPackage) : nullptr;
    const bool16 drawn = Host::GetFrontDocument() && library && !data->GetTargets().IsEmpty();
    if (drawn) {
        const BRNPackageList& held = data->GetPackages();
        auto own = std::find_if(held.begin(), held.end(),
                                [&](const BRNPackage& p) { return p.GetName() == fCurrentPackage; });
        if (own != held.end()) {
            fShown = std::make_unique<BRNPackage>(*own);
            fConflict = own->GetVersion() != library->GetVersion();
        } else {
            fShown = std::make_unique<BRNPackage>(*library);
            fNotApplied = kTrue;
        }
    }
    root->FindWidget(kBRNConflictWidgetID)->Show(fConflict);
    root->FindWidget(kBRNResolveButtonWidgetID)->Show(fConflict);
    WidgetModel* rows = root->FindWidget(kBRNRowsWidgetID);
    if (!fShown) return;
    if (fNotApplied) {
        PMString note("Not applied to the target: Apply writes it.");
        rows->SetText(Plain(note), false);
    } else {
        rows->SetText(PMString(), false);
    }
    const BRNFieldList& fields = fShown->GetFields();
    for (size_t i = 0; i < fields.size(); ++i)
        AddRow(*rows, fields[i], static_cast<int32>(i));
}

void BRNPanelObserver::AddRow(WidgetModel& rows, const BRNField& field, int32 index) {
    Row row;
    row.field = index;
    const std::string n = std::to_string(index + 1);
    WidgetModel* group = AddControl(rows, WidgetKind::kGroup, Plain(field.GetName()), "row" + n);
    row.group = group->GetID();
    WidgetModel* label = AddControl(*group, WidgetKind::kStaticText, Plain(field.GetName()), "label" + n);
    label->SetText(Plain(field.GetName()), false);
    row.label = label->GetID();
    const bool16 editable = !fNotApplied && !field.GetReadOnly();
    auto button = [&](const char* suffix, const PMString& text) {
        WidgetModel* b = AddControl(*group, WidgetKind::kButton, text, n + "." + suffix);
        b->Enable(editable);
        row.buttons.push_back(b->GetID());
        return b;
    };
    WidgetModel* value = nullptr;
    const PMString name = Plain(field.GetName());
    switch (field.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeDecimal:
    case kBRNTypeDirectory:
        value = AddControl(*group, WidgetKind::kEditBox, name, n);
        value->SetText(Plain(field.GetValue()), false);
        if (field.GetType() == kBRNTypeDirectory) button("folder", Plain(PMString("Choose...")));
        break;
    case kBRNTypeText:
        value = AddControl(*group, WidgetKind::kEditBox, name, n);
        value->SetText(ShownText(field.GetValue()), false);
        break;
    case kBRNTypeBoolean:
        value = AddControl(*group, WidgetKind::kCheckBox, name, n);
        value->SetChecked(field.GetBoolValue(), false);
        break;
    case kBRNTypeChoice:
    case kBRNTypeChoiceString: {
        value = AddControl(*group,
                           field.GetType() == kBRNTypeChoice ? WidgetKind::kDropDown : WidgetKind::kEditableDropDown,
                           name, n);
        std::vector<PMString> options;
        for (const PMString& o : field.GetOptions())
            options.push_back(Plain(o));
        value->SetStringList(options);
        const int32 at = value->IndexOf(field.GetValue());
        if (at >= 0)
            value->Select(at, false);
        else
            value->SetText(Plain(field.GetValue()), false);
        break;
    }
    case kBRNTypeDate:
        value = AddControl(*group, WidgetKind::kDateEdit, name, n);
        value->SetText(Plain(field.GetValue()), false);
        break;
    case kBRNTypeMultiChoice:
        value = AddControl(*group, WidgetKind::kStaticText, name, n);
        value->SetText(BRNPackageUtils::JoinMultiChoice(field.GetSelectedValues()), false);
        button("change", Translated("0xA8260kBRNMCChangeStringKey"));
        break;
    case kBRNTypeCalculatedString:
        value = AddControl(*group, WidgetKind::kEditBox, name, n);
        value->SetText(Plain(field.GetValue()), false);
        // The computed text may be typed over only where the definition allows it.
        value->Enable(editable && field.GetAllowUserValues());
        button("recompute", Plain(PMString("Recompute")));
        break;
    case kBRNTypeDeadline: {
        BRNDeadline d = field.GetDeadline();
        if (d.Colors.empty()) d.Colors = BRNUtils::GetDeadlineColors(fShown->GetName());
        PMString text("Planned for: ");
        text.Append(d.PlannedDate);
        text.Append("\nExecuted on: ");
        text.Append(d.ExecutedDate);
        text.Append("\nExecuted by: ");
        text.Append(d.ExecutedBy);
        WidgetModel* box = AddControl(*group, WidgetKind::kColorView, name, n);
        box->SetText(Plain(text), false);
        BRNTextColorBackgroundCustomView::SetColor(*box, d.GetDeadlineColor());
        box->Enable(editable);
        row.value = 0;
        button("sign", Plain(PMString("Done")));
        button("deadline", Plain(PMString("Edit...")));
        for (WidgetID id : row.buttons)
            fWidgetToRow[id] = static_cast<int32>(fRows.size());
        fWidgetToRow[box->GetID()] = static_cast<int32>(fRows.size());
        group->Show(!field.GetHidden());
        fRows.push_back(row);
        AttachTo(*group);
        return;
    }
    default:
        value = AddControl(*group, WidgetKind::kStaticText, name, n);
        value->SetText(Plain(field.GetValue()), false);
        break;
    }
    if (field.GetType() != kBRNTypeCalculatedString) value->Enable(editable);
    row.value = value->GetID();
    fWidgetToRow[value->GetID()] = static_cast<int32>(fRows.size());
    for (WidgetID id : row.buttons)
        fWidgetToRow[id] = static_cast<int32>(fRows.size());
    group->Show(!field.GetHidden());
    fRows.push_back(row);
    AttachTo(*group);
}

int32 BRNPanelObserver::RowOfWidget(WidgetID id) const {
    auto it = fWidgetToRow.find(id);
    return it == fWidgetToRow.end() ? -1 : it->second;
}

// --- Widget changes ----------------------------------------------------------------------------

void BRNPanelObserver::WidgetChanged(WidgetModel& widget, Change change) {
    if (fDepth == 0) fRetired.clear();
    ++fDepth;
    const WidgetID id = widget.GetID();
    const int32 row = RowOfWidget(id);
    if (row >= 0) {
        const Row& r = fRows[static_cast<size_t>(row)];
        if (change == kClicked) {
            auto at = std::find(r.buttons.begin(), r.buttons.end(), id);
            if (at != r.buttons.end()) RowButton(row, static_cast<size_t>(at - r.buttons.begin()));
        } else if (id == r.value && (change == kValueChanged || change == kStateChanged)) {
            EditValue(row, widget);
        }
    } else if (id == kBRNPackageDropDownWidgetID && change == kValueChanged) {
        fCurrentPackage = widget.GetText();
        Load();
    } else if (change == kClicked) {
        switch (id) {
        case kBRNApplyButtonWidgetID:
            Apply();
            break;
        case kBRNResetButtonWidgetID:
            Reset();
            break;
        case kBRNDeletePackageButtonWidgetID:
            DeleteFromTargets();
            break;
        case kBRNCheckTargetsWidgetID:
            CheckTargets();
            break;
        case kBRNDocumentTargetWidgetID:
            ChooseTarget(IBRNPanelData::kDocumentMode);
            break;
        case kBRNStoryTargetWidgetID:
            ChooseTarget(IBRNPanelData::kStoryMode);
            break;
        case kBRNAssignmentTargetWidgetID:
            ChooseTarget(IBRNPanelData::kAssignmentMode);
            break;
        case kBRNRefreshButtonWidgetID:
            Refresh();
            break;
        case kBRNResolveButtonWidgetID:
            Resolve();
            break;
        case kBRNNewPackageButtonWidgetID:
            NewPackage();
            break;
        case kBRNCopyPackageButtonWidgetID:
            CopyPackage();
            break;
        case kBRNEditPackageButtonWidgetID:
            EditPackage();
            break;
        case kBRNImportPackageButtonWidgetID:
            ImportPackage();
            break;
        case kBRNExportPackageButtonWidgetID:
            ExportPackage();
            break;
        default:
            break;
        }
    }
    --fDepth;
}

void BRNPanelObserver::PutBack(int32 row) {
    // The refused text leaves the control: the rows show what the targets hold.
    (void)row;
    DrawRows();
}

void BRNPanelObserver::EditValue(int32 row, WidgetModel& widget) {
    CV_TRACE("BRNPanelObserver::EditValue");
    if (!fShown || fNotApplied) return;
    const Row& r = fRows[static_cast<size_t>(row)];
    BRNField field = fShown->GetFields()[static_cast<size_t>(r.field)];
    const PMString typed = Plain(widget.GetText());
    switch (field.GetType()) {
    case kBRNTypeInteger:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
        if (!BRNPackageUtils::CheckEntry(field, typed)) {
            PutBack(row);
            CV_RETURN_VOID();
        }
        field.SetValue(typed);
        break;
    case kBRNTypeText:
        field.SetValue(StoredText(typed));
        break;
    case kBRNTypeBoolean:
        field.SetBoolValue(widget.IsChecked());
        break;
    case kBRNTypeCalculatedString:
        field.SetValue(typed);
        field.SetFieldOverridden(kTrue);
        break;
    default:
        field.SetValue(typed);
        break;
    }
    WriteField(field);
    CV_RETURN_VOID();
}

bool16 BRNPanelObserver::WriteField(const BRNField& field) {
    IBRNPanelData* data = PanelData();
    if (!data) return kFalse;
    const UIDList targets = data->GetTargets();
    if (targets.IsEmpty()) return kFalse;
    ICommandSequence* sequence = CmdUtils::BeginCommandSequence();
    if (sequence) sequence->SetName(Translated("0xA8260kBRNUpdateXMPMetaDataCmdStringKey"));
    bool16 ok = kTrue;
    for (int32 i = 0; i < targets.Length(); ++i) {
        if (BRNPackageUtils::StoreField(UIDList(targets.GetRef(i)), field) != kSuccess) ok = kFalse;
        Refresh();
    }
    if (sequence) CmdUtils::EndCommandSequence(sequence);
    // The maker's document component learns of the change.
    InterfacePtr<ISubject> settings(QuerySettingsSubject());
    if (settings) settings->Change(kBRNDocPrefsChangedMessage, kCVDocComponentProtocol, static_cast<IObserver*>(this));
    return ok;
}

void BRNPanelObserver::RowButton(int32 row, size_t button) {
    if (!fShown || fNotApplied) return;
    const Row& r = fRows[static_cast<size_t>(row)];
    BRNField field = fShown->GetFields()[static_cast<size_t>(r.field)];
    ISession* session = GetExecutionContextSession();
    BRNHistory who(session ? session->GetUserName() : PMString(), session ? session->GetUserAlias() : PMString(),
                   GlobalTime(GlobalTime::Now()), PMString());
    switch (field.GetType()) {
    case kBRNTypeDirectory: {
        IDFile folder;
        if (!HostDialogs::ChooseFolder(Plain(PMString("Choose a Folder")), &folder)) return;
        field.SetValue(Plain(PMString(folder.Path().string())));
        WriteField(field);
        return;
    }
    case kBRNTypeMultiChoice: {
        Utils<IBrindle> brindle;
        PMStringList values;
        if (brindle) brindle->EditMultiChoice(field.GetName(), who, values);
        Refresh();
        return;
    }
    case kBRNTypeCalculatedString: {
        // Recompute: the template takes over again from a typed value.
        BRNPackage package = *fShown;
        BRNField& f = package.Fields()[static_cast<size_t>(r.field)];
        f.SetFieldOverridden(kFalse);
        if (BRNPackageUtils::UpdateCalculatedField(package, f) < 0) return;
        WriteField(f);
        return;
    }
    case kBRNTypeDeadline: {
        if (button == 0) {
            // Done: the session's user signs the deadline today.
            BRNDeadline d = field.GetDeadline();
            PMString user = session ? session->GetUserAlias() : PMString();
            if (user.IsEmpty() && session) user = session->GetUserName();
            d.ExecutedBy = Plain(user);
            d.ExecutedDate = BRNPackageUtils::FormatToday();
            field.SetDeadline(d);
            WriteField(field);
        } else {
            Utils<IBrindle> brindle;
            BRNDeadline d;
            if (brindle) brindle->EditDeadline(field.GetName(), who, d);
            Refresh();
        }
        return;
    }
    default:
        return;
    }
}

// --- Panel buttons --------------------------------------------------------------------------

void BRNPanelObserver::Apply() {
    CV_TRACE("BRNPanelObserver::Apply");
    IBRNPanelData* data = PanelData();
    if (!data || fCurrentPackage.IsEmpty()) CV_RETURN_VOID();
    data->SetTargets(Host::GetFrontDocument() ? BuildTargets() : UIDList());
    // The targets the panel shows, not only the selected stories: in the assignment mode
    // they are every story of the assignment. One undo step for all of them.
    ICommandSequence* sequence = CmdUtils::BeginCommandSequence();
    BRNPackageUtils::ApplyPackageTo(data->GetTargets(), data->GetMode() != IBRNPanelData::kDocumentMode,
                                    fCurrentPackage, 0);
    if (sequence) CmdUtils::EndCommandSequence(sequence);
    Refresh();
    CV_RETURN_VOID();
}

void BRNPanelObserver::Reset() {
    CV_TRACE("BRNPanelObserver::Reset");
    // Reset is of the front document's metadata, whatever the panel shows.
    IDocument* front = Host::GetFrontDocument();
    if (!front) CV_RETURN_VOID();
    if (CAlert::ModalAlert(PMString("0xA8260kBRNResetString"), CAlert::YesButtonString(), CAlert::NoButtonString(),
                           PMString(), 2, CAlert::kWarningIcon) != 1)
        CV_RETURN_VOID();
    BRNPackageUtils::StorePackages(UIDList(RootOf(front)), BRNPackageList(), kTrue, kFalse);
    Refresh();
    CV_RETURN_VOID();
}

void BRNPanelObserver::DeleteFromTargets() {
    CV_TRACE("BRNPanelObserver::DeleteFromTargets");
    if (CAlert::ModalAlert(PMString("0xA8260kBRNDeletePackageQuestionString"), CAlert::YesButtonString(),
                           CAlert::NoButtonString(), PMString(), 2, CAlert::kWarningIcon) == 1) {
        IBRNPanelData* data = PanelData();
        const UIDList targets = data ? data->GetTargets() : UIDList();
        ICommandSequence* sequence = CmdUtils::BeginCommandSequence();
        if (sequence) sequence->SetName(Translated("0xA8260kBRNUpdateXMPMetaDataCmdStringKey"));
        for (int32 i = 0; i < targets.Length(); ++i) {
            BRNPackageList held = BRNPackageUtils::ReadPackages(targets.GetRef(i));
            if (!FindPackage(held, fCurrentPackage)) continue;
            RemovePackage(held, fCurrentPackage);
            BRNPackageUtils::StorePackages(UIDList(targets.GetRef(i)), held, held.empty() ? kTrue : kFalse, kFalse);
        }
        if (sequence) CmdUtils::EndCommandSequence(sequence);
    }
    Initialise();
    CV_RETURN_VOID();
}

void BRNPanelObserver::CheckTargets() {
    CV_TRACE("BRNPanelObserver::CheckTargets");
    IBRNPanelData* data = PanelData();
    if (!data) CV_RETURN_VOID();
    const UIDList targets = Host::GetFrontDocument() ? BuildTargets() : UIDList();
    data->SetTargets(targets);
    if (targets.IsEmpty()) {
        CAlert::WarningAlert(PMString("0xA8260kBRNEmptyListErrorStringKey"));
        CV_RETURN_VOID();
    }
    std::vector<PMString> lines;
    for (int32 i = 0; i < targets.Length(); ++i) {
        const UIDRef t = targets.GetRef(i);
        PMString line;
        InterfacePtr<IStoryData> story(Instantiate<IStoryData>(t));
        if (story) {
            bool16 locked = kFalse, exported = kFalse;
            BRNAssignmentHelper::GetStoryStatus(t, &locked, &exported);
            if (locked) {
                CAlert::WarningAlert(PMString("0xA8260kBRNLockedErrorStringKey"));
                CV_RETURN_VOID();
            }
            line.Append("story ");
            line.Append(story->GetName());
            line.Append(exported ? " (exported)" : " (not exported)");
        } else {
            InterfacePtr<IDocument> doc(Instantiate<IDocument>(t));
            line.Append("document ");
            line.Append(doc ? doc->GetName() : PMString("?"));
        }
        line.Append(": ");
        const BRNPackageList held = BRNPackageUtils::ReadPackages(t);
        if (held.empty()) line.Append("no package");
        for (size_t k = 0; k < held.size(); ++k) {
            if (k) line.Append(", ");
            line.Append(held[k].GetName());
            line.Append(" v. ");
            line.AppendNumber(static_cast<int64>(held[k].GetVersion()));
        }
        lines.push_back(Plain(line));
    }
    BRNUtils::InvokeTargetListDialog(lines);
    CV_RETURN_VOID();
}

void BRNPanelObserver::ChooseTarget(int32 mode) {
    CV_TRACE("BRNPanelObserver::ChooseTarget");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) {
        CV_LOG(30, "BRNPanelObserver: no settings");
        CV_RETURN_VOID();
    }
    prefs->SetDataType(mode);
    Load();
    CV_RETURN_VOID();
}

void BRNPanelObserver::Resolve() {
    CV_TRACE("BRNPanelObserver::Resolve");
    IBRNPanelData* data = PanelData();
    if (!fConflict || !fShown || !data) CV_RETURN_VOID();
    BRNUtils::InvokeResolveDialog(*fShown, data->GetTargets(), data->GetMode() != IBRNPanelData::kDocumentMode);
    Initialise();
    CV_RETURN_VOID();
}

void BRNPanelObserver::NewPackage() {
    PMString created;
    if (BRNUtils::DoNewPackage(PMString(), &created)) fCurrentPackage = created;
    Initialise();
}

void BRNPanelObserver::CopyPackage() {
    PMString created;
    if (BRNUtils::DoNewPackage(fCurrentPackage, &created)) fCurrentPackage = created;
    Initialise();
}

void BRNPanelObserver::EditPackage() {
    BRNUtils::DoEditPackage(fCurrentPackage);
    Initialise();
}

void BRNPanelObserver::ImportPackage() {
    PMString imported;
    if (BRNUtils::DoImportPackage(&imported)) fCurrentPackage = imported;
    Initialise();
}

void BRNPanelObserver::ExportPackage() {
    BRNUtils::DoExportPackage(fCurrentPackage);
    Initialise();
}
