#include "WebSession.h"

#include "BrowserFace.h"
#include "WidgetJSON.h"

#include "BRNID.h"
#include "PanelCommands.h"

#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/HostSelection.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "io/FolderWalk.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/DialogDriver.h"
#include "ui/DialogModel.h"
#include "ui/HostDialogs.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <set>

namespace fs = std::filesystem;

namespace {
// Enough for any folder a team works in; a listing past it says it was cut.
constexpr size_t kMaxListedFiles = 10000;

WebSession::Reply Error(int status, const std::string& message) {
    return {status, {{"error", message}}};
}

std::string Text(PMString s) {
    s.Translate();
    return s.GetUTF8String();
}

bool Inside(const fs::path& file, const fs::path& root) {
    const fs::path rel = file.lexically_relative(root);
    return !rel.empty() && *rel.begin() != ".." && rel != ".";
}

bool Hidden(const fs::path& rel) {
    for (const fs::path& part : rel)
        if (!part.empty() && part.string()[0] == '.') return true;
    return false;
}
} // namespace

WebSession::WebSession(const std::vector<fs::path>& roots, BrowserFace& face) : fFace(face) {
    for (const fs::path& r : roots) {
        std::error_code ec;
        fs::path real = fs::canonical(r, ec);
        if (ec || !fs::is_directory(real, ec)) continue;
        if (std::find(fRoots.begin(), fRoots.end(), real) == fRoots.end()) fRoots.push_back(real);
    }
}

WebSession::~WebSession() = default;

bool WebSession::Resolve(const std::string& given, fs::path* real) const {
    if (given.empty() || given.find('\0') != std::string::npos || fRoots.empty()) return false;
    fs::path p(given);
    if (p.is_relative()) p = fRoots.front() / p;
    std::error_code ec;
    fs::path r = fs::canonical(p, ec);
    if (ec || !fs::is_regular_file(r, ec)) return false;
    for (const fs::path& root : fRoots)
        if (Inside(r, root)) {
            *real = r;
            return true;
        }
    return false;
}

nlohmann::json WebSession::Files() const {
    nlohmann::json files = nlohmann::json::array();
    bool cut = false;
    for (size_t i = 0; i < fRoots.size(); ++i) {
        std::vector<fs::path> found;
        FolderWalk::Walk(
            fRoots[i], false,
            [&](const fs::path& f) {
                if (found.size() < kMaxListedFiles)
                    found.push_back(f);
                else
                    cut = true;
            },
            [](const fs::path&, const std::error_code&) {});
        std::set<fs::path> listed(found.begin(), found.end());
        for (const fs::path& f : found) {
            const fs::path rel = f.lexically_relative(fRoots[i]);
            if (Hidden(rel)) continue;
            if (f.extension() == ".xmp" && listed.count(fs::path(f).replace_extension())) continue;
            files.push_back({{"root", i}, {"name", rel.string()}, {"path", f.string()}});
        }
    }
    nlohmann::json roots = nlohmann::json::array();
    for (const fs::path& r : fRoots)
        roots.push_back(r.string());
    return {{"roots", roots}, {"files", files}, {"cut", cut}};
}

int WebSession::IdOf(IDocument* doc) {
    for (const auto& [id, d] : fDocuments)
        if (d == doc) return id;
    return 0;
}

IDocument* WebSession::Find(const nlohmann::json& body, Reply* error, bool frontByDefault) {
    if (!body.contains("id") && frontByDefault) {
        IDocument* front = Host::GetFrontDocument();
        if (!front || !IdOf(front)) {
            *error = Error(409, "no document is open");
            return nullptr;
        }
        return front;
    }
    if (!body.contains("id") || !body["id"].is_number_integer()) {
        *error = Error(400, "\"id\" must be a document's number");
        return nullptr;
    }
    auto it = fDocuments.find(body["id"].get<int>());
    if (it == fDocuments.end()) {
        *error = Error(404, "no open document has that number");
        return nullptr;
    }
    return it->second;
}

nlohmann::json WebSession::State() {
    IDocument* front = Host::GetFrontDocument();
    nlohmann::json docs = nlohmann::json::array();
    for (const auto& [id, doc] : fDocuments) {
        IDFile file;
        doc->GetDocFile(&file);
        docs.push_back({{"id", id},
                        {"name", doc->GetName().GetUTF8String()},
                        {"path", file.Path().string()},
                        {"front", doc == front},
                        {"modified", static_cast<bool>(doc->IsModified())}});
    }
    nlohmann::json state = {{"documents", docs}, {"front", front ? IdOf(front) : 0}};
    nlohmann::json stories = nlohmann::json::array();
    if (front) {
        IDataBase* db = front->GetDocumentDataBase();
        const UIDList selected = Host::GetSelectedStories();
        for (UID uid : front->GetStoryList()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(db, uid));
            bool isSelected = false;
            for (int32 i = 0; i < selected.Length(); ++i)
                if (selected.GetDataBase() == db && selected.GetRef(i).GetUID() == uid) isSelected = true;
            stories.push_back({{"uid", uid},
                               {"id", Host::GetFileStorySelf(front, uid)},
                               {"name", data ? data->GetName().GetUTF8String() : std::string()},
                               {"locked", data && data->IsLockKnown() && data->IsLocked()},
                               {"selected", isSelected}});
        }
        state["undo"] =
            CmdUtils::CanUndo(front) ? nlohmann::json(Text(CmdUtils::GetUndoName(front))) : nlohmann::json();
        state["redo"] =
            CmdUtils::CanRedo(front) ? nlohmann::json(Text(CmdUtils::GetRedoName(front))) : nlohmann::json();
    } else {
        state["undo"] = nullptr;
        state["redo"] = nullptr;
    }
    state["stories"] = stories;
    state["panel"] = PanelState();
    return state;
}

WebSession::Reply WebSession::Handle(const std::string& action, const nlohmann::json& body) {
    if (!body.is_object()) return Error(400, "the request's body must be a JSON object");
    Reply r;
    if (action == "open")
        r = Open(body);
    else if (action == "close")
        r = Close(body);
    else if (action == "front")
        r = Front(body);
    else if (action == "save")
        r = Save(body);
    else if (action == "undo" || action == "redo")
        r = UndoRedo(action == "undo");
    else if (action == "select")
        r = Select(body);
    else if (action == "panel")
        r = Panel(body);
    else
        r = Error(404, "no such action");
    const std::vector<std::string> alerts = fFace.TakeAlerts();
    if (!alerts.empty()) r.body["alerts"] = alerts;
    return r;
}

WebSession::Reply WebSession::Open(const nlohmann::json& body) {
    if (!body.contains("path") || !body["path"].is_string())
        return Error(400, "\"path\" must be a file's path");
    fs::path real;
    if (!Resolve(body["path"].get<std::string>(), &real))
        return Error(403, "no such file under the served folders");
    std::string error;
    IDocument* doc = Host::OpenDocument(IDFile(real), &error);
    if (!doc) return Error(422, real.string() + ": " + error);
    int id = IdOf(doc);
    if (!id) {
        id = fNextID++;
        fDocuments[id] = doc;
    }
    Host::SetFrontDocument(doc);
    return {200, {{"id", id}}};
}

WebSession::Reply WebSession::Close(const nlohmann::json& body) {
    Reply error;
    IDocument* doc = Find(body, &error, false);
    if (!doc) return error;
    const bool force = body.value("force", false);
    const int id = IdOf(doc);
    const int32 shown = HostDialogs::MessageDialogCount();
    if (!Host::CloseDocument(doc, force ? kSuppressUI : kFullUI)) {
        std::string why = "the document was not closed";
        if (HostDialogs::MessageDialogCount() != shown) why += ": " + Text(HostDialogs::LastMessage());
        return Error(409, why);
    }
    fDocuments.erase(id);
    // The next document in line comes to the front, as on the desktop.
    if (!Host::GetFrontDocument() && !fDocuments.empty()) Host::SetFrontDocument(fDocuments.rbegin()->second);
    return {};
}

WebSession::Reply WebSession::Front(const nlohmann::json& body) {
    Reply error;
    IDocument* doc = Find(body, &error, false);
    if (!doc) return error;
    Host::SetFrontDocument(doc);
    return {};
}

WebSession::Reply WebSession::Save(const nlohmann::json& body) {
    Reply error;
    IDocument* doc = Find(body, &error, true);
    if (!doc) return error;
    std::string why;
    const bool saved = Host::SaveDocument(doc, &why);
    // Saving may have filled values in (calculated fields, history): the panel reads them.
    PanelCommands::Reread();
    if (!saved) return Error(500, "the document could not be saved: " + why);
    return {};
}

WebSession::Reply WebSession::UndoRedo(bool undo) {
    IDocument* doc = Host::GetFrontDocument();
    if (!doc || !IdOf(doc)) return Error(409, "no document is open");
    const bool done = undo ? CmdUtils::Undo(doc) : CmdUtils::Redo(doc);
    // Undoing a command does not tell the panel as doing it did: the panel reads again.
    PanelCommands::Reread();
    if (!done) return Error(409, undo ? "nothing to undo" : "nothing to redo");
    return {};
}

WebSession::Reply WebSession::Select(const nlohmann::json& body) {
    IDocument* doc = Host::GetFrontDocument();
    if (!doc || !IdOf(doc)) return Error(409, "no document is open");
    if (!body.contains("stories") || !body["stories"].is_array())
        return Error(400, "\"stories\" must be a list of story numbers");
    IDataBase* db = doc->GetDocumentDataBase();
    const UIDList all = doc->GetStoryList();
    UIDList chosen(db);
    for (const nlohmann::json& s : body["stories"]) {
        if (!s.is_number_unsigned()) return Error(400, "\"stories\" must be a list of story numbers");
        const UID uid = s.get<UID>();
        bool found = false;
        for (UID u : all)
            found = found || u == uid;
        if (!found) return Error(404, "the front document has no story " + std::to_string(uid));
        chosen.Append(uid);
    }
    Host::SetSelectedStories(chosen);
    return {};
}

namespace {
// A member that names a row, a widget, a package or a mode: a text, or a number for rows and
// widgets.
bool Name(const nlohmann::json& body, const char* member, bool number, std::string* out) {
    if (!body.contains(member)) return false;
    const nlohmann::json& v = body[member];
    if (v.is_string() && !v.get<std::string>().empty()) {
        *out = v.get<std::string>();
        return true;
    }
    if (number && v.is_number_unsigned()) {
        *out = std::to_string(v.get<uint64_t>());
        return true;
    }
    return false;
}
// A Directory row's "Choose..." button ("N.folder").
bool IsFolderButton(const std::string& widget) {
    WidgetModel* panel = PanelCommands::PanelWidget();
    WidgetModel* w = panel ? panel->FindWidget(widget) : nullptr;
    const std::string suffix = ".folder";
    return w && w->GetKind() == WidgetKind::kButton && w->GetName().size() > suffix.size() &&
           w->GetName().compare(w->GetName().size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Enough folders for a team's tree; deeper ones are typed into the field.
constexpr size_t kMaxOfferedFolders = 2000;
constexpr int kOfferedDepth = 3;
constexpr WidgetID kFolderListWidgetID = 3;
} // namespace

bool WebSession::ChooseFolder(fs::path* chosen) {
    std::vector<PMString> folders;
    for (const fs::path& root : fRoots) {
        if (folders.size() >= kMaxOfferedFolders) break;
        folders.emplace_back(root.string());
        std::error_code ec;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
        for (; !ec && it != end && folders.size() < kMaxOfferedFolders; it.increment(ec)) {
            const fs::path& p = it->path();
            const bool hidden = !p.filename().empty() && p.filename().string()[0] == '.';
            // Links are not followed: every folder offered lies inside its root.
            if (hidden || it->is_symlink(ec) || !it->is_directory(ec)) {
                if (hidden || it->is_symlink(ec)) it.disable_recursion_pending();
                continue;
            }
            if (it.depth() + 1 >= kOfferedDepth) it.disable_recursion_pending();
            folders.emplace_back(p.string());
        }
    }
    PMString title("Choose a Folder");
    title.SetTranslatable(kFalse);
    DialogModel dialog("folder", title);
    PMString label("Folder");
    label.SetTranslatable(kFalse);
    WidgetModel* list = dialog.Root().AddChild(kFolderListWidgetID, WidgetKind::kDropDown, label);
    list->SetName("folder");
    list->SetStringList(folders);
    list->Select(0, false);
    dialog.SetFocus(kFolderListWidgetID);
    if (DialogDriver::RunModal(dialog) != DialogDriver::Result::kOK) return false;
    const std::string picked = list->GetText().GetUTF8String();
    // Only a folder that was offered is taken.
    for (const PMString& f : folders)
        if (f.GetUTF8String() == picked) {
            *chosen = picked;
            return true;
        }
    return false;
}

WebSession::Reply WebSession::Panel(const nlohmann::json& body) {
    const std::string action = body.value("action", std::string());
    std::string name, value;
    if (action == "set") {
        if (!Name(body, "row", true, &name)) return Error(400, "\"set\" needs the \"row\": a field's name or number");
        if (!body.contains("value")) return Error(400, "\"set\" needs a \"value\"");
        const nlohmann::json& v = body["value"];
        if (v.is_boolean())
            value = v.get<bool>() ? "true" : "false";
        else if (v.is_string())
            value = v.get<std::string>();
        else
            return Error(400, "\"value\" must be a text or true or false");
    } else if (action == "click") {
        if (!Name(body, "widget", true, &name)) return Error(400, "\"click\" needs the \"widget\": a name or number");
    } else if (action == "choose") {
        if (!Name(body, "package", false, &name)) return Error(400, "\"choose\" needs the \"package\"");
    } else if (action == "mode") {
        if (!Name(body, "mode", false, &name)) return Error(400, "\"mode\" needs the \"mode\"");
    } else {
        return Error(400, "\"action\" must be \"set\", \"click\", \"choose\" or \"mode\"");
    }
    if (!PanelCommands::Open()) return Error(500, "the panel could not be opened");
    // Each action of a person on the panel is an undo step of its own, even where the
    // commands it runs would join the step of the previous one.
    if (IDocument* front = Host::GetFrontDocument()) CmdUtils::BeginNewUndoStep(front);
    std::string why;
    int code = 1;
    if (action == "set")
        code = PanelCommands::Set(name, value, &why);
    else if (action == "click" && IsFolderButton(name)) {
        // The host's folder dialog is answered by the host: the page chooses among the served
        // folders first, and the panel's button then gets that answer. Cancelled, nothing changes.
        fs::path folder;
        if (!ChooseFolder(&folder)) return {};
        HostDialogs::SetFolderAnswer({DialogAnswer::Kind::kPath, folder});
        code = PanelCommands::Click(name, &why);
        HostDialogs::SetFolderAnswer({});
    } else if (action == "click")
        code = PanelCommands::Click(name, &why);
    else if (action == "choose")
        code = PanelCommands::Choose(name, &why);
    else
        code = PanelCommands::Mode(name, &why);
    if (code != 0) return Error(422, why);
    return {};
}

nlohmann::json WebSession::PanelState() const {
    WidgetModel* root = PanelCommands::PanelWidget();
    if (!root) return nlohmann::json();
    nlohmann::json panel = {{"root", WidgetJSON::Widget(*root)}};
    // Beside the widgets, what a row's field is: the page picks a multi-line box for a text,
    // marks the required fields and shows the description as the row's hint.
    const PanelCommands::Shown shown = PanelCommands::ShownPackage();
    nlohmann::json rows = nlohmann::json::object();
    if (WidgetModel* group = root->FindWidget(kBRNRowsWidgetID); group && shown.package) {
        const BRNFieldList& fields = shown.package->GetFields();
        for (const auto& row : group->GetChildren()) {
            const std::string n = row->GetName().rfind("row", 0) == 0 ? row->GetName().substr(3) : std::string();
            const size_t index = n.empty() ? 0 : std::strtoul(n.c_str(), nullptr, 10);
            if (index == 0 || index > fields.size()) continue;
            const BRNField& f = fields[index - 1];
            const PMString typeName =
                f.GetStoredTypeName().IsEmpty() ? BRNField::TypeName(f.GetType()) : f.GetStoredTypeName();
            rows[std::to_string(row->GetID())] = {{"row", index},
                                                  {"type", typeName.GetUTF8String()},
                                                  {"typeCode", f.GetType()},
                                                  {"required", static_cast<bool>(f.GetRequired())},
                                                  {"readOnly", static_cast<bool>(f.GetReadOnly())},
                                                  {"description", f.GetDescription().GetUTF8String()}};
        }
    }
    panel["rows"] = rows;
    panel["package"] = shown.package ? nlohmann::json(shown.package->GetName().GetUTF8String()) : nlohmann::json();
    panel["packageVersion"] = shown.package ? nlohmann::json(shown.package->GetVersion()) : nlohmann::json();
    panel["applied"] = shown.applied;
    panel["mode"] = shown.mode;
    panel["targets"] = shown.targets;
    return panel;
}

bool WebSession::OpenPanel() {
    return PanelCommands::Open();
}

void WebSession::CloseAll() {
    for (const auto& [id, doc] : fDocuments) {
        if (doc->IsModified())
            std::cerr << "brindle: " << doc->GetName().GetUTF8String() << ": closed unsaved\n";
        Host::CloseDocument(doc, kSuppressUI);
    }
    fDocuments.clear();
    // The panel follows the session's subjects: it goes before the session does.
    PanelCommands::Close();
}
