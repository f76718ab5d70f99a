// brindle apply | upgrade | check
#include "AppContext.h"

#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "files/IBRNPrefs.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/HostDialogs.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using BRNPackageUtils::BRNFieldFault;
using BRNPackageUtils::BRNRequiredFieldsDocument;
using BRNPackageUtils::BRNRequiredFieldsReport;

struct PackageOptions {
    std::string file;
    std::string package;
    std::vector<std::string> files;
    bool json = false;
    bool save = false;
};

UIDRef DocumentRef(IDocument* doc) {
    IDataBase* db = doc->GetDocumentDataBase();
    return UIDRef(db, db->GetRootUID());
}

IDocument* Open(const std::string& name, std::string* error) {
    return Host::OpenDocument(IDFile(std::filesystem::path(name)), error);
}

// Name and version of each package, for what the commands print.
std::string Versions(const BRNPackageList& packages) {
    std::string s;
    for (const BRNPackage& p : packages) {
        if (!s.empty()) s += ", ";
        s += UTF8(p.GetName()) + " version " + std::to_string(p.GetVersion());
    }
    return s.empty() ? "no packages" : s;
}

std::map<std::string, uint32> LibraryVersions(IBRNPrefs* prefs) {
    std::map<std::string, uint32> versions;
    for (const BRNPackage& p : prefs->GetPackages())
        versions[UTF8(p.GetName())] = p.GetVersion();
    return versions;
}

// The library's changes as lines: packages it learned or whose version changed.
void PrintLibraryChanges(const std::map<std::string, uint32>& before,
                         const std::map<std::string, uint32>& after) {
    for (const auto& [name, version] : after) {
        auto it = before.find(name);
        if (it == before.end())
            std::cout << "library: " << name << " version " << version << " added\n";
        else if (it->second != version)
            std::cout << "library: " << name << " version " << it->second << " -> " << version << "\n";
    }
}

std::string Join(const PMStringList& names) {
    std::string s;
    for (const PMString& n : names)
        s += (s.empty() ? "" : ", ") + UTF8(n);
    return s;
}

nlohmann::json Faults(const std::vector<BRNFieldFault>& faults) {
    nlohmann::json a = nlohmann::json::array();
    for (const BRNFieldFault& f : faults)
        a.push_back({{"package", UTF8(f.package)}, {"field", UTF8(f.field)}});
    return a;
}

std::string FaultsText(const std::vector<BRNFieldFault>& faults) {
    std::string s;
    for (const BRNFieldFault& f : faults)
        s += (s.empty() ? "" : ", ") + UTF8(f.package) + "/" + UTF8(f.field);
    return s;
}

int RunApply(const GlobalOptions& options, const PackageOptions& o) {
    HostSessionScope host(options);
    if (!host.ok()) return Fail(kExitIO, "the plug-in could not be started");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) return Fail(kExitIO, "the settings could not be read");
    const PMString name(o.package);
    if (!prefs->FindPackage(name))
        return Fail(kExitInput, "the library has no package \"" + o.package + "\"");
    std::string error;
    IDocument* doc = Open(o.file, &error);
    if (!doc) return Fail(kExitIO, o.file + ": " + error);
    Host::SetFrontDocument(doc);
    const auto libraryBefore = LibraryVersions(prefs);
    int code = kExitOK;
    const ErrorCode applied = BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, name, 0);
    // A version raised on the way is in the library whatever becomes of the document.
    PrintLibraryChanges(libraryBefore, LibraryVersions(prefs));
    std::cout << std::flush;
    if (applied != kSuccess) {
        code = Fail(kExitInput, o.file + ": the package \"" + o.package + "\" could not be applied");
    } else if (!Host::SaveDocument(doc, &error)) {
        code = Fail(kExitIO, o.file + ": " + error);
    } else {
        std::cout << o.file << ": " << Versions(BRNPackageUtils::ReadPackages(DocumentRef(doc))) << "\n";
    }
    Host::CloseDocument(doc, kSuppressUI);
    return code;
}

// A library change of an upgrade as one line of text and as JSON.
std::string ChangeText(const BRNPackageUtils::BRNLibraryChange& c) {
    const std::string name = UTF8(c.package);
    if (c.added) return "library: " + name + " version " + std::to_string(c.to) + " added";
    return "library: " + name + " version " + std::to_string(c.from) + " -> " + std::to_string(c.to) +
           (c.raised ? " (raised)" : "");
}

nlohmann::json ChangeJSON(const BRNPackageUtils::BRNLibraryChange& c) {
    nlohmann::json j = {{"package", UTF8(c.package)},
                        {"version", c.to},
                        {"added", c.added != 0},
                        {"raised", c.raised != 0}};
    j["from"] = c.added ? nlohmann::json() : nlohmann::json(c.from);
    return j;
}

nlohmann::json PackagesJSON(const BRNPackageList& packages) {
    nlohmann::json a = nlohmann::json::array();
    for (const BRNPackage& p : packages)
        a.push_back({{"name", UTF8(p.GetName())}, {"version", p.GetVersion()}});
    return a;
}

int RunUpgrade(const GlobalOptions& options, const PackageOptions& o) {
    // The upgrade the plug-in makes when a document opens is this command's own work, done
    // below with its report: the session opens the document without the lifecycle.
    HostSessionScope host(options, true);
    if (!host.ok()) return Fail(kExitIO, "the plug-in could not be started");
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    if (!prefs) return Fail(kExitIO, "the settings could not be read");
    std::string error;
    IDocument* doc = Open(o.file, &error);
    if (!doc) {
        if (o.json) PrintJSON({{"file", o.file}, {"error", error}});
        return Fail(kExitIO, o.file + ": " + error);
    }
    BRNPackageUtils::BRNUpgradeReport report;
    BRNPackageUtils::UpgradeDocumentPackages(DocumentRef(doc), kFalse, &report);
    // The library's changes are made (and saved) whatever becomes of the document: each is
    // reported.
    nlohmann::json changes = nlohmann::json::array();
    for (const BRNPackageUtils::BRNLibraryChange& c : report.library) {
        if (o.json)
            changes.push_back(ChangeJSON(c));
        else
            std::cout << ChangeText(c) << "\n";
    }
    int code = kExitOK;
    std::string why;
    bool saved = false;
    // Whatever changed the packet since it was read (this upgrade, or the plug-in's own work
    // on opening) is saved, unless an upgraded package was refused: then nothing is written,
    // as for apply.
    const bool changed = doc->IsModified();
    if (!report.refused.empty()) {
        for (const BRNPackageUtils::BRNUpgradeRefusal& r : report.refused) {
            const std::string line = "the package \"" + UTF8(r.package) + "\" could not be upgraded: " +
                                     UTF8(r.reason);
            why += (why.empty() ? "" : "; ") + line;
        }
        code = Fail(kExitInput, o.file + ": " + why);
    } else if (changed && !Host::SaveDocument(doc, &error)) {
        why = error;
        code = Fail(kExitIO, o.file + ": " + error);
    } else {
        saved = changed;
    }
    const BRNPackageList packages = BRNPackageUtils::ReadPackages(DocumentRef(doc));
    if (o.json) {
        nlohmann::json j = {{"file", o.file}, {"library", changes}, {"saved", saved}};
        if (code == kExitOK)
            j["packages"] = PackagesJSON(packages);
        else
            j["error"] = why;
        PrintJSON(j);
    } else if (code == kExitOK) {
        std::cout << o.file << ": " << Versions(packages) << (changed ? " (saved)" : " (unchanged)") << "\n";
    }
    std::cout << std::flush;
    Host::CloseDocument(doc, kSuppressUI);
    return code;
}

// Documents open at once. The pass is one list over all the files (one list of missing
// names, one report), but a hot folder may hold thousands of files: they are opened, checked
// and closed a batch at a time so that memory does not grow with their number.
constexpr size_t kCheckBatch = 64;

// What makes two names one file: its device and inode, or, for a name that cannot be
// looked at, the name made canonical (it fails to open later and is reported once).
std::string FileIdentity(const std::string& name) {
    struct stat st;
    if (::stat(name.c_str(), &st) == 0)
        return "#" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    // A name that cannot be resolved (links that loop) stands for itself.
    std::error_code ec;
    fs::path key = fs::weakly_canonical(name, ec);
    if (ec || key.empty()) key = fs::absolute(fs::path(name), ec).lexically_normal();
    return key.string();
}

struct CheckedFile {
    std::string file;
    BRNRequiredFieldsDocument result;
    bool saved = false;
};

int RunCheck(const GlobalOptions& options, const PackageOptions& o) {
    HostSessionScope host(options, !o.save);
    if (!host.ok()) return Fail(kExitIO, "the plug-in could not be started");
    int code = kExitOK;
    std::vector<CheckedFile> checked;
    PMStringList missing;
    nlohmann::json errors = nlohmann::json::array();
    auto error = [&](const std::string& file, const std::string& why) {
        Fail(kExitIO, file + ": " + why);
        errors.push_back({{"file", file}, {"error", why}});
        code = kExitIO;
    };
    std::set<std::string> seen;
    for (size_t next = 0; next < o.files.size();) {
        std::vector<IDocument*> docs;
        std::vector<UIDRef> refs;
        const size_t first = checked.size();
        for (; next < o.files.size() && docs.size() < kCheckBatch; ++next) {
            const std::string& name = o.files[next];
            // The same file named twice is one document, checked once: the same file is the
            // same device and inode (a hard link or a symbolic link is another name of it).
            if (!seen.insert(FileIdentity(name)).second) continue;
            std::string why;
            IDocument* doc = Open(name, &why);
            if (!doc) {
                error(name, why);
                continue;
            }
            // The host hands back the open document for another name of its file.
            if (std::find(docs.begin(), docs.end(), doc) != docs.end()) continue;
            docs.push_back(doc);
            refs.push_back(DocumentRef(doc));
            checked.push_back({name, {}, false});
        }
        // Missing fields are reported once, for all the files, below. Without --save the
        // changes of the pass would be thrown away, so they are not made.
        BRNRequiredFieldsReport part;
        BRNPackageUtils::CheckRequiredFields(refs, kFalse, kFalse, &part, o.save ? kTrue : kFalse);
        for (const PMString& n : part.missing)
            if (std::find(missing.begin(), missing.end(), n) == missing.end()) missing.push_back(n);
        for (size_t i = 0; i < docs.size(); ++i) {
            CheckedFile& c = checked[first + i];
            c.result = std::move(part.documents[i]);
            if (o.save && docs[i]->IsModified()) {
                std::string why;
                if (Host::SaveDocument(docs[i], &why))
                    c.saved = true;
                else
                    error(c.file, why);
            }
            Host::CloseDocument(docs[i], kSuppressUI);
        }
    }
    if (!missing.empty()) BRNPackageUtils::ReportMissingFields(missing, kFalse);
    if (code == kExitOK && !missing.empty()) code = kExitRequired;

    if (o.json) {
        nlohmann::json documents = nlohmann::json::array();
        nlohmann::json names = nlohmann::json::array();
        for (const PMString& n : missing)
            names.push_back(UTF8(n));
        nlohmann::json without = nlohmann::json::array();
        for (const CheckedFile& c : checked) {
            if (c.result.packages == 0) without.push_back(c.file);
            documents.push_back({{"file", c.file},
                                 {"packages", c.result.packages},
                                 {"missing", Faults(c.result.missingFields)},
                                 {"invalidDates", Faults(c.result.badDates)},
                                 {"templateFaults", Faults(c.result.badTemplates)},
                                 {"packagesChanged", c.result.packagesChanged},
                                 {"saved", c.saved}});
        }
        PrintJSON({{"missing", names},
                   {"documents", documents},
                   {"withPackages", checked.size() - without.size()},
                   {"withoutPackages", without},
                   {"errors", errors}});
    } else {
        size_t failing = 0;
        std::vector<std::string> without;
        for (const CheckedFile& c : checked) {
            const BRNRequiredFieldsDocument& d = c.result;
            if (d.packages == 0) {
                without.push_back(c.file);
                std::cout << c.file << ": no packages\n";
            }
            if (!d.missing.empty()) {
                ++failing;
                std::cout << c.file << ": missing: " << Join(d.missing) << "\n";
            }
            if (!d.badDates.empty())
                std::cout << c.file << ": invalid date: " << FaultsText(d.badDates) << "\n";
            if (!d.badTemplates.empty())
                std::cout << c.file << ": template fault: " << FaultsText(d.badTemplates) << "\n";
        }
        // Documents without packages have no fields to fill: they are counted apart.
        const size_t holding = checked.size() - without.size();
        auto documents = [](size_t n) { return std::to_string(n) + (n == 1 ? " document" : " documents"); };
        const std::string apart = without.empty() ? "" : " (" + documents(without.size()) + " without packages)";
        if (checked.empty()) {
            std::cout << "required fields: no document was checked\n";
        } else if (holding == 0) {
            std::cout << "required fields: no packages in " << documents(checked.size()) << "\n";
        } else if (missing.empty()) {
            std::cout << "required fields: all filled in " << documents(holding) << apart << "\n";
        } else {
            std::cout << "required fields missing in " << failing << " of " << documents(holding) << apart << ":";
            for (const PMString& n : missing)
                std::cout << "\n- " << UTF8(n);
            std::cout << "\n";
        }
    }
    std::cout << std::flush;
    return code;
}

} // namespace

void AddPackageCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<PackageOptions>();

    auto* apply = app.add_subcommand("apply", "Apply a library package to a document and save it");
    apply->add_option("FILE", o->file, "Document")->required();
    apply->add_option("PACKAGE", o->package, "Name of the library package")->required();
    apply->callback([&options, &exitCode, o]() { exitCode = RunApply(options, *o); });

    auto* upgrade = app.add_subcommand("upgrade", "Bring the document's packages to the library's versions");
    upgrade->add_option("FILE", o->file, "Document")->required();
    upgrade->add_flag("--json", o->json, "Print JSON");
    upgrade->callback([&options, &exitCode, o]() { exitCode = RunUpgrade(options, *o); });

    auto* check =
        app.add_subcommand("check", "Required fields, dates and templates of documents as stored (exit 3: missing); "
                                    "read only unless --save");
    check->add_option("FILE", o->files, "Documents, checked as one list")->required();
    check->add_flag("--json", o->json, "Print JSON");
    check->add_flag("--save", o->save, "Save the documents the pass changed (history, tidied values)");
    check->callback([&options, &exitCode, o]() {
        // A document and its sidecar named together are one document.
        o->files = WithoutListedSidecars(o->files);
        exitCode = RunCheck(options, *o);
    });
}
