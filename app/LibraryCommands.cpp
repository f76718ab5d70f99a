// brindle library list|show|import|export|delete|new|copy|password|edit
#include "AppContext.h"

#include "CVExpatSimpleDOM.h"
#include "files/BRNXMLImporter.h"
#include "io/FileUtils.h"
#include "logic/BRNPackageUtils.h"
#include "model/BRNField.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/BRNDialogController.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/DialogDriver.h"
#include "ui/HostDialogs.h"
#include "ui/ScriptDialogFace.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <stdlib.h>

namespace {

nlohmann::json List(const PMStringList& values) {
    nlohmann::json a = nlohmann::json::array();
    for (const auto& v : values)
        a.push_back(UTF8(v));
    return a;
}

nlohmann::json Summary(const BRNPackage& p) {
    return {{"name", UTF8(p.GetName())},
            {"version", p.GetVersion()},
            {"modified", p.IsModified() != 0},
            {"hasPassword", p.HasPassword()},
            {"fieldCount", p.GetFields().size()}};
}

nlohmann::json FieldJSON(const BRNField& f) {
    return {{"name", UTF8(f.GetName())},
            {"shortName", UTF8(f.GetShortName())},
            {"description", UTF8(f.GetDescription())},
            {"type", f.GetType()},
            {"typeName", UTF8(BRNField::TypeName(f.GetType()))},
            {"value", UTF8(f.GetValue())},
            {"boolValue", f.GetBoolValue() != 0},
            {"hasDefault", f.GetHasDefault() != 0},
            {"defaultValue", UTF8(f.GetDefaultValue())},
            {"required", f.GetRequired() != 0},
            {"hidden", f.GetHidden() != 0},
            {"readOnly", f.GetReadOnly() != 0},
            {"allowUserValues", f.GetAllowUserValues() != 0},
            {"fieldOverridden", f.GetFieldOverridden() != 0},
            {"visibleLines", f.GetVisibleLines()},
            {"options", List(f.GetOptions())},
            {"defaultValues", List(f.GetDefaultValues())},
            {"selectedValues", List(f.GetSelectedValues())}};
}

std::string YesNo(bool b) {
    return b ? "yes" : "no";
}

void PrintPackage(const BRNPackage& p) {
    std::cout << "package " << UTF8(p.GetName()) << "\n"
              << "  version:   " << p.GetVersion() << (p.IsModified() ? " (modified)" : "") << "\n"
              << "  password:  " << YesNo(p.HasPassword()) << "\n"
              << "  timestamp: " << p.GetTimestamp() << "\n"
              << "  fields:    " << p.GetFields().size() << "\n";
    auto list = [](const PMStringList& l) {
        std::string s;
        for (size_t i = 0; i < l.size(); ++i)
            s += (i ? " | " : "") + UTF8(l[i]);
        return s;
    };
    for (const BRNField& f : p.GetFields()) {
        std::cout << "\n  " << UTF8(f.GetName()) << " [" << UTF8(f.GetShortName()) << "] "
                  << UTF8(BRNField::TypeName(f.GetType())) << " (" << f.GetType() << ")\n";
        if (!f.GetDescription().IsEmpty())
            std::cout << "    description:  " << UTF8(f.GetDescription()) << "\n";
        if (f.GetType() == kBRNTypeBoolean)
            std::cout << "    value:        " << (f.GetBoolValue() ? "True" : "False") << "\n";
        else
            std::cout << "    value:        " << UTF8(f.GetValue()) << "\n";
        if (f.GetHasDefault()) std::cout << "    default:      " << UTF8(f.GetDefaultValue()) << "\n";
        std::cout << "    flags:        required=" << YesNo(f.GetRequired())
                  << " hidden=" << YesNo(f.GetHidden()) << " readOnly=" << YesNo(f.GetReadOnly());
        if (f.GetType() == kBRNTypeMultiChoice || f.GetType() == kBRNTypeCalculatedString)
            std::cout << " allowUserValues=" << YesNo(f.GetAllowUserValues());
        if (f.GetType() == kBRNTypeCalculatedString)
            std::cout << " fieldOverridden=" << YesNo(f.GetFieldOverridden());
        std::cout << "\n";
        if (f.GetType() == kBRNTypeText || f.GetType() == kBRNTypeMultiChoice)
            std::cout << "    visibleLines: " << f.GetVisibleLines() << "\n";
        if (!f.GetOptions().empty()) std::cout << "    options:      " << list(f.GetOptions()) << "\n";
        if (f.GetType() == kBRNTypeMultiChoice) {
            std::cout << "    defaults:     " << list(f.GetDefaultValues()) << "\n";
            std::cout << "    selected:     " << list(f.GetSelectedValues()) << "\n";
        }
    }
}

struct LibraryOptions {
    bool json = false;
    std::string name;
    std::vector<std::string> files;
    std::string output;
    bool force = false;
    std::string newName;
    std::string from;
};

// The bytes of the package as its definition file holds it, for telling two packages of one
// version apart; empty when it cannot be written.
std::string DefinitionBytes(const BRNPackage& package, const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / "package.xml";
    if (!BRNPackageUtils::WritePackageFile(IDFile(file), package)) return {};
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Why importing the package would lose work: a lower version than the library's, or the
// same version with other content. Empty when it may replace the library's package.
std::string Downgrade(IBRNPrefs* prefs, const BRNPackage& incoming) {
    const BRNPackage* current = prefs->FindPackage(incoming.GetName());
    if (!current) return {};
    const std::string what =
        "package \"" + UTF8(incoming.GetName()) + "\" version " + std::to_string(incoming.GetVersion());
    if (incoming.GetVersion() < current->GetVersion())
        return what + " is lower than the library's version " + std::to_string(current->GetVersion());
    if (incoming.GetVersion() > current->GetVersion()) return {};
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "brindle-import-XXXXXX").string();
    if (ec || !::mkdtemp(pattern.data())) return {};
    const std::filesystem::path folder(pattern);
    const std::string a = DefinitionBytes(incoming, folder), b = DefinitionBytes(*current, folder);
    std::filesystem::remove_all(folder, ec);
    if (!a.empty() && a == b) return {};
    return what + " is the library's version with other content";
}

// The same for every package of the file; a file that cannot be read is left to the import,
// which names what is wrong with it.
std::vector<std::string> Downgrades(IBRNPrefs* prefs, const std::string& name) {
    BRNPackageList incoming;
    std::vector<std::string> why;
    if (BRNPackageUtils::ReadImportFile(IDFile(std::filesystem::path(name)), incoming) != 0) return why;
    for (const BRNPackage& p : incoming)
        if (std::string w = Downgrade(prefs, p); !w.empty()) why.push_back(std::move(w));
    return why;
}

// The package dialog answered with the name from the command line, so the dialog's own checks
// (empty, taken) refuse it with their alerts. The name, or empty when refused.
PMString AskPackageName(const std::string& name, const PMString& copyOf) {
    auto face = std::make_shared<ScriptDialogFace>();
    face->Queue({"package", {{"name", name}}, "OK"});
    DialogDriver::SetFace(face);
    PMString chosen = BRNUtils::InvokePackageDialog(copyOf);
    DialogDriver::SetFace(SessionDialogFace());
    return chosen;
}

// A protected package is worked on only after its password was given. False (with the error
// printed) when it was not.
bool Unlocked(IBRNPrefs* prefs, const std::string& name) {
    const BRNPackage* p = prefs->FindPackage(PMString(name));
    if (!p || !p->HasPassword()) return true;
    if (BRNUtils::InvokeEnterPasswordDialog(PMString(name), nullptr)) return true;
    Fail(kExitInput, "the password of \"" + name + "\" was not given; nothing changed");
    return false;
}

// The exit code and message of a library that could not be stored, with the reason when
// the library gives one (another process held its lock, a file could not be written).
int SaveFailed(IBRNPrefs* prefs) {
    const std::string why = UTF8(prefs->GetLastSaveError());
    return Fail(kExitIO, "the library could not be saved" + (why.empty() ? std::string() : ": " + why));
}

// The library with the package put in name order.
int StoreNewPackage(IBRNPrefs* prefs, BRNPackage package) {
    BRNPackageList library = prefs->GetPackages();
    auto at = std::lower_bound(library.begin(), library.end(), package.GetName(),
                               [](const BRNPackage& a, const PMString& n) { return a.GetName() < n; });
    library.insert(at, std::move(package));
    prefs->SetPackages(library);
    return prefs->GetLastSaveSucceeded() ? kExitOK : SaveFailed(prefs);
}

// Reads a package definition file written by us (UTF-16 with a byte-order mark) or by hand in
// UTF-8. 0, or 1 with the reason.
int32 LoadDefinition(const std::string& name, BRNPackage& package, std::string* why) {
    const IDFile file{std::filesystem::path(name)};
    std::string bytes;
    if (!FileUtils::ReadRegularFile(file, &bytes, why)) return 1;
    const bool utf16 =
        bytes.size() >= 2 &&
        ((static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) ||
         (static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF));
    if (utf16) {
        PMString error;
        if (BRNPackageUtils::LoadPackageFile(file, package, &error) == 0) return 0;
        *why = UTF8(error);
        return 1;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    CVExpatSimpleDOM& dom = CVExpatSimpleDOM::Instance();
    if (!dom.ParseBuffer(bytes)) {
        std::string msg = UTF8(dom.GetError());
        while (!msg.empty() && msg.back() == '\n')
            msg.pop_back();
        *why = "is not well-formed XML (UTF-8, or UTF-16 with a byte-order mark): " + msg;
        return 1;
    }
    std::unique_ptr<CVDomElement> root = dom.TakeRoot();
    BRNPackage read;
    if (root) BRNXMLImporter::ParseDOM(read, root.get());
    if (read.GetName().IsEmpty()) {
        *why = "holds no package definition (a \"brindle\" root with a named \"package\" element)";
        return 1;
    }
    package = std::move(read);
    return 0;
}

} // namespace

void AddLibraryCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* lib = app.add_subcommand(
        "library", "The package library: list, show, import, export, delete, new, copy, password, edit");
    lib->require_subcommand(1);
    auto o = std::make_shared<LibraryOptions>();

    auto withPrefs = [&options, &exitCode](auto body) {
        return [&options, &exitCode, body]() {
            HostSessionScope host(options);
            InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
            if (!host.ok() || !prefs) {
                exitCode = Fail(kExitIO, "the plug-in could not be started");
                return;
            }
            exitCode = body(prefs.get());
        };
    };

    auto* list = lib->add_subcommand("list", "The library's packages in order");
    list->add_flag("--json", o->json, "Print JSON");
    list->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
        const BRNPackageList& packages = prefs->GetPackages();
        if (o->json) {
            nlohmann::json a = nlohmann::json::array();
            for (const auto& p : packages)
                a.push_back(Summary(p));
            PrintJSON({{"packages", a}});
        } else {
            std::cout << std::left << std::setw(28) << "NAME" << std::setw(9) << "VERSION" << std::setw(10)
                      << "MODIFIED" << std::setw(10) << "PASSWORD"
                      << "FIELDS\n";
            for (const auto& p : packages)
                std::cout << std::left << std::setw(28) << UTF8(p.GetName()) << std::setw(9) << p.GetVersion()
                          << std::setw(10) << YesNo(p.IsModified()) << std::setw(10) << YesNo(p.HasPassword())
                          << p.GetFields().size() << "\n";
        }
        for (const IDFile& f : prefs->GetUnreadableFiles())
            std::cerr << "brindle: warning: " << f.Path().string()
                      << " is not a readable package file; left as it is\n";
        for (const IDFile& f : prefs->GetDuplicateFiles())
            std::cerr
                << "brindle: warning: " << f.Path().string()
                << " defines a package that another file of the library defines too (the library keeps the"
                   " higher version, on a tie the newer file); left as it is\n";
        return kExitOK;
    }));

    auto* show = lib->add_subcommand("show", "One package definition with every field");
    show->add_option("NAME", o->name, "Package name")->required();
    show->add_flag("--json", o->json, "Print JSON");
    show->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
        const BRNPackage* p = prefs->FindPackage(PMString(o->name));
        if (!p) return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
        if (o->json) {
            nlohmann::json j = Summary(*p);
            j["timestamp"] = p->GetTimestamp();
            nlohmann::json fields = nlohmann::json::array();
            for (const auto& f : p->GetFields())
                fields.push_back(FieldJSON(f));
            j["fields"] = fields;
            PrintJSON(j);
        } else {
            PrintPackage(*p);
        }
        return kExitOK;
    }));

    auto* import = lib->add_subcommand("import", "Load package definition files into the library");
    import->add_option("FILE", o->files, "Package definition files")->required();
    import->add_flag("--force", o->force,
                     "Replace a package with a lower version, or the same version changed");
    import->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
        if (!o->force) {
            bool refused = false;
    for (const auto& f : o->files) {
        for (const std::string& why : Downgrades(prefs, f)) {
            Fail(kExitInput, f + ": " + why + " (--force replaces it)");
            refused = true;
        }
    }
    if (refused) return Fail(kExitInput, "nothing was imported");
}
std::vector<IDFile> files;
for (const auto& f : o->files)
    files.emplace_back(std::filesystem::path(f));
std::vector<PMString> errors;
BRNPackageList imported;
std::vector<IDFile> from;
if (!BRNPackageUtils::ImportPackageFiles(files, &errors, &imported, &from)) {
    for (const auto& e : errors)
        Fail(kExitInput, UTF8(e));
    if (errors.empty()) return SaveFailed(prefs);
    return Fail(kExitInput, "nothing was imported");
}
for (size_t i = 0; i < imported.size(); ++i)
    std::cout << "imported " << UTF8(imported[i].GetName()) << " version " << imported[i].GetVersion()
              << " from " << from[i].Path().string() << "\n";
return kExitOK;
}));

auto* exp = lib->add_subcommand("export", "Write a package definition file");
exp->add_option("NAME", o->name, "Package name")->required();
exp->add_option("-o,--output", o->output, "The file to write (default: the proposed name in this folder)");
exp->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
    if (!prefs->FindPackage(PMString(o->name)))
        return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
    DialogAnswer answer;
    if (!o->output.empty()) {
        answer.kind = DialogAnswer::Kind::kPath;
        answer.path = o->output;
    } else {
        answer.kind = DialogAnswer::Kind::kProposedInFolder;
        answer.path = std::filesystem::current_path();
    }
    HostDialogs::SetSaveFileAnswer(answer);
    const uint32 before = prefs->FindPackage(PMString(o->name))->GetVersion();
    const bool exported = BRNPackageUtils::doExportPackage(PMString(o->name));
    // Raising a modified package's version changes the library even when the file fails.
    const BRNPackage* after = prefs->FindPackage(PMString(o->name));
    if (after && after->GetVersion() != before)
        std::cout << "library: " << o->name << " version " << before << " -> " << after->GetVersion()
                  << " (raised)\n";
    if (!exported) return Fail(kExitIO, "could not write " + HostDialogs::LastChosen().Path().string());
    std::cout << HostDialogs::LastChosen().Path().string() << "\n";
    return kExitOK;
}));

auto* create = lib->add_subcommand("new", "Make an empty package, asking for its password");
create->add_option("NAME", o->name, "Package name")->required();
create->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
    const PMString name = AskPackageName(o->name, PMString());
    if (name.IsEmpty()) return Fail(kExitInput, "no package was made");
    // Cancelling the password dialog leaves the package without a password.
    PMString password;
    BRNUtils::InvokeSetPasswordDialog(name, &password);
    password.SetTranslatable(kFalse);
    if (int rc = StoreNewPackage(prefs, BRNPackage(name, password, 0))) return rc;
    std::cout << "created " << o->name << (password.IsEmpty() ? "" : " (password set)") << "\n";
    return kExitOK;
}));

auto* copy = lib->add_subcommand("copy", "Copy a package under a new name, asking for its password");
copy->add_option("NAME", o->name, "Package to copy")->required();
copy->add_option("NEW", o->newName, "Name of the copy")->required();
copy->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
    if (!prefs->FindPackage(PMString(o->name)))
        return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
    if (!Unlocked(prefs, o->name)) return kExitInput;
    const PMString name = AskPackageName(o->newName, PMString(o->name));
    if (name.IsEmpty()) return Fail(kExitInput, "no copy was made");
    PMString password;
    BRNUtils::InvokeSetPasswordDialog(name, &password);
    password.SetTranslatable(kFalse);
    const BRNPackage* source = prefs->FindPackage(PMString(o->name));
    if (!source) return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
    if (int rc = StoreNewPackage(prefs, BRNPackage(source->GetFields(), name, password, 0))) return rc;
    std::cout << "copied " << o->name << " to " << o->newName << (password.IsEmpty() ? "" : " (password set)")
              << "\n";
    return kExitOK;
}));

auto* pwd = lib->add_subcommand("password", "Set a package's password (the old one is asked first)");
pwd->add_option("NAME", o->name, "Package name")->required();
pwd->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
    if (!prefs->FindPackage(PMString(o->name)))
        return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
    if (!Unlocked(prefs, o->name)) return kExitInput;
    PMString password;
    if (!BRNUtils::InvokeSetPasswordDialog(PMString(o->name), &password))
        return Fail(kExitInput, "no password was set; nothing changed");
    password.SetTranslatable(kFalse);
    BRNPackageList library = prefs->GetPackages();
    BRNPackage* p = FindPackage(library, PMString(o->name));
    if (!p) return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
    p->SetPassword(password);
    // The definition file holds the password: copies of this version now differ.
    p->SetModified(kTrue);
    prefs->SetPackages(library);
    if (!prefs->GetLastSaveSucceeded()) return SaveFailed(prefs);
    std::cout << "password set for " << o->name << "\n";
    return kExitOK;
}));

auto* edit = lib->add_subcommand("edit", "Replace a package's fields with those of a definition file");
edit->add_option("NAME", o->name, "Package name")->required();
edit->add_option("--from", o->from, "Package definition file (UTF-8, or UTF-16 with a byte-order mark)")
    ->required();
edit->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
    const BRNPackage* current = prefs->FindPackage(PMString(o->name));
    if (!current) return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
    const uint32 before = current->GetVersion();
    BRNPackage incoming;
    std::string why;
    // The file is read before the password is asked: a bad file should not cost a prompt.
    if (LoadDefinition(o->from, incoming, &why) != 0)
        return Fail(kExitInput, o->from + ": " + why + "; nothing changed");
    if (!Unlocked(prefs, o->name)) return kExitInput;
    BRNDialogController::Fault fault;
    if (!BRNDialogController::StoreFields(PMString(o->name), incoming.GetFields(), &fault)) {
        if (fault.field < 0) return SaveFailed(prefs);
        const BRNField& f = incoming.GetFields()[static_cast<size_t>(fault.field)];
        std::string where = "field " + std::to_string(fault.field + 1) + " (\"" + UTF8(f.GetName()) + "\")";
        if (fault.value >= 0)
            where += ", value " + std::to_string(fault.value + 1) + " (\"" +
                     UTF8(f.GetOptions()[static_cast<size_t>(fault.value)]) + "\")";
        return Fail(kExitInput, o->from + ": " + where + " is refused; nothing changed");
    }
    const BRNPackage* after = prefs->FindPackage(PMString(o->name));
    std::cout << "edited " << o->name << " version " << before << " -> " << (after ? after->GetVersion() : 0)
              << " (" << incoming.GetFields().size() << " fields)\n";
    return kExitOK;
}));

auto* del = lib->add_subcommand("delete", "Remove a package from the library");
del->add_option("NAME", o->name, "Package name")->required();
del->callback(withPrefs([o](IBRNPrefs* prefs) -> int {
    bool present = prefs->FindPackage(PMString(o->name)) != nullptr;
    BRNPackageUtils::DeleteLibraryPackage(PMString(o->name));
    if (!present) return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
    if (!prefs->GetLastSaveSucceeded()) return SaveFailed(prefs);
    std::cout << "deleted " << o->name << "\n";
    for (const IDFile& f : prefs->GetRemovedFiles())
        std::cout << "removed " << f.Path().string() << "\n";
    return kExitOK;
}));
}
