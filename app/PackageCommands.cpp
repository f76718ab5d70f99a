// brindle apply | upgrade | check
#include "AppContext.h"
#include "BatchRunner.h"
#include "FileArguments.h"
#include "ProgressLine.h"
#include "RunSummary.h"

#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/HostSelection.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "formats/FileReplace.h"
#include "files/IBRNPrefs.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/HostDialogs.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using BRNPackageUtils::BRNFieldFault;
using BRNPackageUtils::BRNRequiredFieldsDocument;
using BRNPackageUtils::BRNRequiredFieldsReport;

struct PackageOptions {
    StoryOptions stories;
    std::string file;
    std::string package;
    std::vector<std::string> files;
    bool json = false;
    bool save = false;
    FileArguments fileArguments;
    BatchRunner::Settings batch;
};

UIDRef DocumentRef(IDocument* doc) {
    IDataBase* db = doc->GetDocumentDataBase();
    return UIDRef(db, db->GetRootUID());
}

IDocument* Open(const std::string& name, std::string* error) {
    return CommandDocuments::Open(name, error);
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

nlohmann::json PackagesJSON(const BRNPackageList& packages) {
    nlohmann::json a = nlohmann::json::array();
    for (const BRNPackage& p : packages)
        a.push_back({{"name", UTF8(p.GetName())}, {"version", p.GetVersion()}});
    return a;
}

DocumentResult ApplyDocument(IBRNPrefs* prefs, const PackageOptions& o, const std::string& file) {
    const PMString name(o.package);
    std::string error;
    IDocument* doc = Open(file, &error);
    if (!doc) {
        if (GetJSONLayout() == JSONLayout::kLines) PrintJSON({{"file", file}, {"error", error}});
        return {Fail(kExitIO, file + ": " + error), DocumentOutcome::kFailed};
    }
    Host::SetFrontDocument(doc);
    // Stories are applied to as the host's selection: the named ones, every one with flags.
    UIDList stories;
    if (o.stories.Any()) {
        std::string why;
        if (!ResolveStories(doc, o.stories, &stories, &why)) {
            CommandDocuments::Close(doc, kSuppressUI);
            return {Fail(kExitInput, file + ": " + why), DocumentOutcome::kFailed};
        }
        // Frames alone are a layout selection, answered by the layout suite.
        if (o.stories.stories.empty() && !o.stories.allStories) {
            UIDList frames(stories.GetDataBase());
            for (const std::string& id : o.stories.frames)
                frames.Append(Host::FindFileFrame(doc, id));
            Host::SelectPageItems(frames);
        } else {
            Host::ClearSelection();
            Host::SetSelectedStories(stories);
        }
    }
    const auto libraryBefore = LibraryVersions(prefs);
    int code = kExitOK;
    const ErrorCode applied =
        o.stories.Any() ? BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToSelectedStories, name,
                                                        BRNPackageUtils::kBRNApplyAllStories)
                        : BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, name, 0);
    // A version raised on the way is in the library whatever becomes of the document; with
    // --jsonl the line goes to standard error, which leaves standard output JSON.
    const bool lines = GetJSONLayout() == JSONLayout::kLines;
    std::streambuf* out = lines ? std::cout.rdbuf(std::cerr.rdbuf()) : nullptr;
    PrintLibraryChanges(libraryBefore, LibraryVersions(prefs));
    if (out) std::cout.rdbuf(out);
    std::cout << std::flush;
    if (applied != kSuccess) {
        code = Fail(kExitInput, file + ": the package \"" + o.package + "\" could not be applied");
        error = "the package \"" + o.package + "\" could not be applied";
    } else if (!CommandDocuments::Save(doc, &error)) {
        code = Fail(kExitIO, file + ": " + error);
    } else if (lines) {
        PrintJSON(
            {{"file", file}, {"packages", PackagesJSON(BRNPackageUtils::ReadPackages(DocumentRef(doc)))}});
    } else {
        if (!o.stories.Any())
            std::cout << file << ": " << Versions(BRNPackageUtils::ReadPackages(DocumentRef(doc))) << "\n";
        for (UID uid : stories)
            std::cout << file << " " << Host::GetFileStorySelf(doc, uid) << ": "
                      << Versions(BRNPackageUtils::ReadPackages(UIDRef(stories.GetDataBase(), uid))) << "\n";
    }
    if (code != kExitOK && lines) PrintJSON({{"file", file}, {"error", error}});
    CommandDocuments::Close(doc, kSuppressUI);
    return {code, code == kExitOK ? DocumentOutcome::kUpdated : DocumentOutcome::kFailed};
}

// A library change of an upgrade as one line of text and as JSON.
std::string ChangeText(const BRNPackageUtils::BRNLibraryChange& c) {
    const std::string name = UTF8(c.package);
    if (c.added) return "library: " + name + " version " + std::to_string(c.to) + " added";
    return "library: " + name + " version " + std::to_string(c.from) + " -> " + std::to_string(c.to) +
           (c.raised ? " (raised)" : "");
}

nlohmann::json ChangeJSON(const BRNPackageUtils::BRNLibraryChange& c) {
    nlohmann::json j = {
        {"package", UTF8(c.package)}, {"version", c.to}, {"added", c.added != 0}, {"raised", c.raised != 0}};
    j["from"] = c.added ? nlohmann::json() : nlohmann::json(c.from);
    return j;
}

DocumentResult UpgradeDocument(const PackageOptions& o, const std::string& file) {
    std::string error;
    IDocument* doc = Open(file, &error);
    if (!doc) {
        if (o.json) PrintJSON({{"file", file}, {"error", error}});
        return {Fail(kExitIO, file + ": " + error), DocumentOutcome::kFailed};
    }
    BRNPackageUtils::BRNUpgradeReport report;
    BRNPackageUtils::UpgradeDocumentPackages(DocumentRef(doc), kFalse, &report);
    // The library's changes are made (and saved) whatever becomes of the document: each is
    // reported.
    nlohmann::json changes = nlohmann::json::array();
    for (const BRNPackageUtils::BRNLibraryChange& c : report.library) {
        // With --json the change is in the object and, for a reader of the run, on its own line.
        if (o.json) {
            changes.push_back(ChangeJSON(c));
            std::cerr << ChangeText(c) << std::endl;
        } else {
            std::cout << ChangeText(c) << "\n";
        }
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
            const std::string line =
                "the package \"" + UTF8(r.package) + "\" could not be upgraded: " + UTF8(r.reason);
            why += (why.empty() ? "" : "; ") + line;
        }
        code = Fail(kExitInput, file + ": " + why);
    } else if (changed && !CommandDocuments::Save(doc, &error)) {
        why = error;
        code = Fail(kExitIO, file + ": " + error);
    } else {
        saved = changed;
    }
    const BRNPackageList packages = BRNPackageUtils::ReadPackages(DocumentRef(doc));
    if (o.json) {
        nlohmann::json j = {{"file", file}, {"library", changes}, {"saved", saved}};
        if (code == kExitOK)
            j["packages"] = PackagesJSON(packages);
        else
            j["error"] = why;
        PrintJSON(j);
    } else if (code == kExitOK) {
        std::cout << file << ": " << Versions(packages) << (changed ? " (saved)" : " (unchanged)") << "\n";
    }
    std::cout << std::flush;
    CommandDocuments::Close(doc, kSuppressUI);
    return {code, code != kExitOK ? DocumentOutcome::kFailed
                  : saved         ? DocumentOutcome::kUpdated
                                  : DocumentOutcome::kUnchanged};
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

// One document of the pass, or one story of it with --story or --frame.
struct CheckedFile {
    std::string file;
    std::string story; // the story's id in the file; empty for the document
    size_t doc = 0;    // which of the batch's open documents holds it
    BRNRequiredFieldsDocument result;
    bool saved = false;
    // What the text lines and the lists of names call it: "FILE", or "FILE#ID" for a story.
    std::string Label() const { return story.empty() ? file : file + "#" + story; }
};

nlohmann::json CheckedJSON(const CheckedFile& c) {
    nlohmann::json j = {{"file", c.file}};
    if (!c.story.empty()) j["story"] = c.story;
    j.update({{"packages", c.result.packages},
              {"missing", Faults(c.result.missingFields)},
              {"invalidDates", Faults(c.result.badDates)},
              {"templateFaults", Faults(c.result.badTemplates)},
              {"packagesChanged", c.result.packagesChanged},
              {"saved", c.saved}});
    return j;
}

void PrintChecked(const CheckedFile& c) {
    const BRNRequiredFieldsDocument& d = c.result;
    const std::string label = c.Label();
    if (d.packages == 0) std::cout << label << ": no packages\n";
    if (!d.missing.empty()) std::cout << label << ": missing: " << Join(d.missing) << "\n";
    if (!d.badDates.empty()) std::cout << label << ": invalid date: " << FaultsText(d.badDates) << "\n";
    if (!d.badTemplates.empty())
        std::cout << label << ": template fault: " << FaultsText(d.badTemplates) << "\n";
}

int RunCheck(const GlobalOptions& options, const PackageOptions& o) {
    HostSessionScope host(options, !o.save);
    if (!host.ok()) return Fail(kExitIO, "the plug-in could not be started");
    const bool lines = o.batch.jsonl;
    if (lines) SetJSONLayout(JSONLayout::kLines);
    RunSummary summary("checked");
    // Each document's lines are printed as its batch is done, so memory does not grow with the
    // number of files; only the one --json object is built whole.
    nlohmann::json documents = nlohmann::json::array();
    nlohmann::json without = nlohmann::json::array();
    size_t checkedCount = 0, withoutCount = 0, failing = 0;
    PMStringList missing;
    nlohmann::json errors = nlohmann::json::array();
    // A file that cannot be read is an I/O fault; a story it does not hold, an input error.
    auto error = [&](const std::string& file, const std::string& why, int code = kExitIO) {
        Fail(code, file + ": " + why);
        if (lines)
            PrintJSON({{"file", file}, {"error", why}});
        else
            errors.push_back({{"file", file}, {"error", why}});
        summary.Add({code, DocumentOutcome::kFailed});
    };
    ProgressLine progress(o.files.size(), !o.batch.quiet);
    std::set<std::string> seen;
    for (size_t next = 0; next < o.files.size();) {
        std::vector<IDocument*> docs;
        std::vector<std::string> files; // the name each document was opened by
        std::vector<UIDRef> refs;
        std::vector<CheckedFile> checked;
        progress.Clear();
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
            if (!o.stories.Any()) {
                refs.push_back(DocumentRef(doc));
                checked.push_back({name, {}, docs.size(), {}, false});
                docs.push_back(doc);
                files.push_back(name);
                continue;
            }
            // The named stories take the document's place in the pass, each as its own entry.
            UIDList stories;
            if (!ResolveStories(doc, o.stories, &stories, &why)) {
                CommandDocuments::Close(doc, kSuppressUI);
                error(name, why, kExitInput);
                continue;
            }
            for (UID uid : stories) {
                refs.push_back(UIDRef(stories.GetDataBase(), uid));
                checked.push_back({name, Host::GetFileStorySelf(doc, uid), docs.size(), {}, false});
            }
            docs.push_back(doc);
            files.push_back(name);
        }
        // Missing fields are reported once, for all the files, below. Without --save the
        // changes of the pass would be thrown away, so they are not made.
        BRNRequiredFieldsReport part;
        BRNPackageUtils::CheckRequiredFields(refs, kFalse, kFalse, &part, o.save ? kTrue : kFalse);
        for (const PMString& n : part.missing)
            if (std::find(missing.begin(), missing.end(), n) == missing.end()) missing.push_back(n);
        // Each document is saved once, whatever number of its stories the pass changed. Over
        // several files the new files wait in a group, made durable together and put in place
        // at the end of the batch; a document counts as saved only then.
        std::optional<FileReplace::Group> group;
        if (o.save && o.files.size() > 1 && !InShellSession()) {
            ApplyCommitFaultFromEnvironment();
            group.emplace();
        }
        std::vector<std::string> saveErrors(docs.size());
        std::vector<bool> saved(docs.size(), false);
        std::vector<size_t> numbers(docs.size(), 0);
        for (size_t d = 0; d < docs.size(); ++d) {
            if (group) numbers[d] = group->BeginDocument();
            if (o.save && docs[d]->IsModified()) {
                std::string why;
                if (CommandDocuments::Save(docs[d], &why))
                    saved[d] = true;
                else
                    saveErrors[d] = why.empty() ? "the document could not be saved" : why;
            }
            CommandDocuments::Close(docs[d], kSuppressUI);
        }
        if (group) {
            group->Commit();
            for (auto& [number, result] : group->TakeResults()) {
                if (result.outcome != FileReplace::Group::Outcome::kFailed) continue;
                for (size_t d = 0; d < docs.size(); ++d)
                    if (numbers[d] == number && saveErrors[d].empty()) {
                        saved[d] = false;
                        saveErrors[d] = result.error;
                    }
            }
            group.reset();
        }
        // Its entries follow, so the output stays in argument order.
        for (size_t d = 0, i = 0; d < docs.size(); ++d) {
            const bool failed = !saveErrors[d].empty();
            if (failed) error(files[d], saveErrors[d]);
            for (; i < checked.size() && checked[i].doc == d; ++i) {
                CheckedFile& c = checked[i];
                c.result = std::move(part.documents[i]);
                c.saved = saved[d];
                ++checkedCount;
                if (c.result.packages == 0) {
                    ++withoutCount;
                    if (o.json && !lines) without.push_back(c.Label());
                }
                if (!c.result.missing.empty()) ++failing;
                if (!failed)
                    summary.Add({kExitOK, c.result.missing.empty() ? DocumentOutcome::kRead
                                                                   : DocumentOutcome::kMissing});
                if (lines)
                    PrintJSON(CheckedJSON(c));
                else if (o.json)
                    documents.push_back(CheckedJSON(c));
                else
                    PrintChecked(c);
            }
        }
        std::cout << std::flush;
        progress.Update(next);
    }
    progress.Clear();
    if (!missing.empty()) BRNPackageUtils::ReportMissingFields(missing, kFalse);
    int code = summary.ExitCode();

    nlohmann::json names = nlohmann::json::array();
    for (const PMString& n : missing)
        names.push_back(UTF8(n));
    if (lines) {
        nlohmann::json last = summary.JSON();
        last["summary"]["missingFields"] = names;
        last["summary"]["withPackages"] = checkedCount - withoutCount;
        last["summary"]["withoutPackages"] = withoutCount;
        PrintJSON(last);
        SetJSONLayout(JSONLayout::kObject);
    } else if (o.json) {
        PrintJSON({{"missing", names},
                   {"documents", documents},
                   {"withPackages", checkedCount - without.size()},
                   {"withoutPackages", without},
                   {"errors", errors}});
    } else {
        // Documents without packages have no fields to fill: they are counted apart.
        const size_t holding = checkedCount - withoutCount;
        auto count = [](size_t n) { return std::to_string(n) + (n == 1 ? " document" : " documents"); };
        const std::string apart = withoutCount == 0 ? "" : " (" + count(withoutCount) + " without packages)";
        if (checkedCount == 0) {
            std::cout << "required fields: no document was checked\n";
        } else if (holding == 0) {
            std::cout << "required fields: no packages in " << count(checkedCount) << "\n";
        } else if (missing.empty()) {
            std::cout << "required fields: all filled in " << count(holding) << apart << "\n";
        } else {
            std::cout << "required fields missing in " << failing << " of " << count(holding) << apart << ":";
            for (const PMString& n : missing)
                std::cout << "\n- " << UTF8(n);
            std::cout << "\n";
        }
    }
    std::cout << std::flush;
    if (!o.batch.quiet && (o.files.size() > 1 || o.fileArguments.Expands()))
        std::cerr << summary.Text() << std::endl;
    return code;
}

} // namespace

int ExpandFiles(PackageOptions& o) {
    std::vector<std::string> files;
    std::string error;
    if (!o.fileArguments.Expand(o.files, &files, &error)) return Fail(kExitInput, error);
    if (files.empty() && !o.fileArguments.Expands()) return Fail(kExitInput, "no documents named");
    o.files = std::move(files);
    return kExitOK;
}

void AddPackageCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<PackageOptions>();

    auto* apply = app.add_subcommand("apply", "Apply a library package to documents and save them");
    apply->add_option("FILE", o->files, "Documents, then the package (or give it with -p)");
    apply->add_option("-p,--package", o->package, "Name of the library package");
    o->fileArguments.AddOptions(apply);
    o->batch.AddOptions(apply, false);
    AddStoryOptions(apply, o->stories, true);
    apply->callback([&options, &exitCode, o, apply]() {
        // Without -p the last word is the package: "apply FILE... PACKAGE".
        if (apply->count("--package") == 0) {
            if (o->files.empty()) {
                exitCode = Fail(kExitInput, "apply: give the package last or with -p");
                return;
            }
            o->package = o->files.back();
            o->files.pop_back();
        }
        if ((exitCode = ExpandFiles(*o)) != kExitOK) return;
        // Applying may raise the package's version in the library: the documents are done one
        // after another in this process, so each sees the library the one before left.
        BatchRunner::Settings batch = o->batch;
        batch.verb = "written";
        batch.groupCommit = true;
        batch.summary = o->fileArguments.Expands();
        exitCode = BatchRunner(options, batch).Run(o->files, [o](const std::string& f) -> DocumentResult {
            InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
            if (!prefs) return {Fail(kExitIO, "the settings could not be read"), DocumentOutcome::kFailed};
            if (!prefs->FindPackage(PMString(o->package)))
                return {Fail(kExitInput, "the library has no package \"" + o->package + "\""),
                        DocumentOutcome::kFailed};
            return ApplyDocument(prefs, *o, f);
        });
    });

    auto* upgrade = app.add_subcommand("upgrade", "Bring the documents' packages to the library's versions");
    upgrade->add_option("FILE", o->files, "Documents");
    upgrade->add_flag("--json", o->json, "Print JSON");
    o->fileArguments.AddOptions(upgrade);
    o->batch.AddOptions(upgrade, false);
    upgrade->callback([&options, &exitCode, o]() {
        if ((exitCode = ExpandFiles(*o)) != kExitOK) return;
        // The library may learn a version from any document: one process, one document at a time.
        BatchRunner::Settings batch = o->batch;
        batch.verb = "written";
        batch.groupCommit = true;
        // The upgrade the plug-in makes when a document opens is this command's own work, done
        // with its report: the documents are opened without the lifecycle.
        batch.withoutLifecycle = true;
        if (batch.jsonl) o->json = true;
        batch.json = o->json;
        batch.summary = o->fileArguments.Expands();
        exitCode = BatchRunner(options, batch).Run(o->files, [o](const std::string& f) {
            return UpgradeDocument(*o, f);
        });
    });

    auto* check =
        app.add_subcommand("check", "Required fields, dates and templates of documents as stored (exit 3: missing); "
                                    "read only unless --save");
    check->add_option("FILE", o->files, "Documents, checked as one list");
    check->add_flag("--json", o->json, "Print JSON");
    check->add_flag("--save", o->save, "Save the documents the pass changed (history, tidied values)");
    AddStoryOptions(check, o->stories);
    o->fileArguments.AddOptions(check);
    o->batch.AddOptions(check, false);
    check->callback([&options, &exitCode, o]() {
        // A document and its sidecar named together are one document.
        if ((exitCode = ExpandFiles(*o)) != kExitOK) return;
        exitCode = RunCheck(options, *o);
    });
}
