// brindle key | xml | expand | set: a document's packages through the metadata service.
#include "AppContext.h"
#include "BatchRunner.h"
#include "FileArguments.h"

#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "io/FileUtils.h"
#include "logic/BRNPackageUtils.h"
#include "service/BRNBrindleHelpers.h"
#include "service/IBrindle.h"
#include "session/ISession.h"
#include "session/Utils.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <iostream>
#include <set>

namespace {

struct ServiceOptions {
    std::string file;
    std::vector<std::string> files;
    std::string templateText;
    std::vector<std::string> assignments;
    std::vector<std::string> setOptions; // -s NAME=VALUE
    bool escape = false;
    bool json = false;
    bool force = false;
    FileArguments fileArguments;
    BatchRunner::Settings batch;
    StoryOptions stories; // set: the stories to write instead of the document
};

std::vector<std::string> gAfterSeparator;

PMString Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return s;
}

std::string DateFault(const BRNField& f, const char* which) {
    std::string t = UTF8(Translated("0xA8260kBRNErrorInDateStringKey"));
    size_t hash = t.find('#');
    if (hash != std::string::npos) t.replace(hash, 1, which ? std::string(which) : UTF8(f.GetName()));
    return t;
}

bool Contains(const PMStringList& list, const std::u16string& value) {
    return std::any_of(list.begin(), list.end(), [&](const PMString& s) { return s.Units() == value; });
}

// Why the text cannot be the field's value, by the entry rules of its type; empty when it can.
std::string ValueFault(const BRNField& f, const PMString& text) {
    if (!f.IsKnownType())
        return "the field's type \"" + UTF8(f.GetStoredTypeName()) + "\" is not one this version can set";
    switch (f.GetType()) {
    case kBRNTypeInteger:
        return BRNPackageUtils::CheckIntegerText(text) ? ""
                                                       : UTF8(Translated("0xA8260kBRNIntConversionError"));
    case kBRNTypeDecimal:
        return BRNPackageUtils::CheckDecimalText(text)
                   ? ""
                   : UTF8(Translated("0xA8260kBRNDecimalConversionError"));
    case kBRNTypeDate:
        return BRNPackageUtils::IsInvalidDate(text) ? DateFault(f, nullptr) : "";
    case kBRNTypeBoolean:
        return text.IsEqualNoCase(PMString("true")) || text.IsEqualNoCase(PMString("false"))
                   ? ""
                   : "a Boolean takes true, false, yes, no, 1 or 0";
    case kBRNTypeChoice:
        if (text.IsEmpty() || Contains(f.GetOptions(), text.Units())) return "";
        {
            std::string choices;
            for (const PMString& o : f.GetOptions())
                choices += (choices.empty() ? "" : ", ") + UTF8(o);
            return "not one of the choices (" + choices + ")";
        }
    case kBRNTypeMultiChoice: {
        std::set<std::u16string> seen;
        for (const PMString& value : BRNPackageUtils::SplitMultiChoice(text)) {
            const std::u16string& part = value.Units();
            if (!BRNPackageUtils::CheckMultiChoiceText(value))
                return UTF8(Translated("0xA8260kBRNMCCommaWarningStringKey")) +
                       " (separate the values with a comma and a blank)";
            if (!seen.insert(part).second) return UTF8(Translated("0xA8260kBRNDublicatedValueErrorString"));
            if (!f.GetAllowUserValues() && !Contains(f.GetOptions(), part))
                return UTF8(Translated("0xA8260kBRNMCNotAChoiceStringKey")) + " (" + UTF8(PMString(part)) +
                       ")";
        }
        return "";
    }
    case kBRNTypeDeadline: {
        // planned,executed,by
        const std::u16string& t = text.Units();
        if (std::count(t.begin(), t.end(), u',') > 2) return "a deadline is written planned,executed,by";
        const BRNDeadline d = BRNPackageUtils::ParseDeadlineText(text, BRNDeadline());
        const PMString& planned = d.PlannedDate;
        const PMString& executed = d.ExecutedDate;
        if (BRNPackageUtils::IsInvalidDate(planned)) return DateFault(f, "Planned");
        if (BRNPackageUtils::IsInvalidDate(executed)) return DateFault(f, "Executed");
        return "";
    }
    default:
        return "";
    }
}

struct Assignment {
    PMString name;
    PMString value;
};

// The value as the field's type stores it: a Boolean's yes/no/1/0 as True/False, an ISO date
// yyyy-mm-dd as yyyy/mm/dd; anything else as given (then judged by ValueFault).
PMString Normalised(const BRNField& f, const std::string& value) {
    std::string v = value;
    if (f.GetType() == kBRNTypeBoolean) {
        std::string lower;
        for (char c : v)
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == "yes" || lower == "1" || lower == "true") v = "True";
        if (lower == "no" || lower == "0" || lower == "false") v = "False";
    } else if (f.GetType() == kBRNTypeDate && v.size() == 10 && v[4] == '-' && v[7] == '-' &&
               std::all_of(v.begin(), v.end(),
                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '-'; })) {
        v[4] = v[7] = '/';
    }
    PMString p(v);
    p.SetTranslatable(kFalse);
    return p;
}

// The field name the given name stands for: a field's name, else its short name, else the
// same two without regard to case; a name that stands for two fields is refused.
bool ResolveName(const BRNPackageList& packages, const PMString& given, PMString* name, std::string* fault) {
    using Match = bool (*)(const BRNField&, const PMString&);
    const Match rules[] = {
        [](const BRNField& f, const PMString& n) { return f.GetName() == n; },
        [](const BRNField& f, const PMString& n) { return f.GetShortName() == n; },
        [](const BRNField& f, const PMString& n) { return f.GetName().IsEqualNoCase(n); },
        [](const BRNField& f, const PMString& n) { return f.GetShortName().IsEqualNoCase(n); },
    };
    for (Match rule : rules) {
        std::vector<PMString> names;
        for (const BRNPackage& p : packages)
            for (const BRNField& f : p.GetFields())
                if (rule(f, given) && std::find(names.begin(), names.end(), f.GetName()) == names.end())
                    names.push_back(f.GetName());
        if (names.size() == 1) {
            *name = names[0];
            return true;
        }
        if (names.size() > 1) {
            std::string list;
            for (const PMString& n : names)
                list += (list.empty() ? "\"" : ", \"") + UTF8(n) + "\"";
            *fault =
                "\"" + UTF8(given) + "\" names more than one field (" + list + "); give the field's name";
            return false;
        }
    }
    *fault = "no field named \"" + UTF8(given) + "\"";
    return false;
}

// Each NAME=VALUE checked against the fields of that name in every package; the first fault
// refuses the whole call.
bool CheckAssignments(const BRNPackageList& packages, const std::vector<std::string>& given, bool force,
                      std::vector<Assignment>* out, std::string* fault) {
    for (const std::string& a : given) {
        const size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0) {
            *fault = "\"" + a + "\" is not NAME=VALUE";
            return false;
        }
        Assignment next;
        if (!ResolveName(packages, PMString(a.substr(0, eq)), &next.name, fault)) return false;
        const std::string value = a.substr(eq + 1);
        bool first = true;
        for (const BRNPackage& p : packages) {
            for (const BRNField& f : p.GetFields()) {
                if (f.GetName() != next.name) continue;
                if (first) next.value = Normalised(f, value);
                first = false;
                if (!force && (f.GetReadOnly() || f.GetHidden())) {
                    *fault = "field \"" + UTF8(f.GetName()) + "\" of " + UTF8(p.GetName()) + " is " +
                             (f.GetReadOnly() ? "read-only" : "hidden") + " (--force sets it all the same)";
                    return false;
                }
                std::string why = ValueFault(f, next.value);
                if (!why.empty()) {
                    *fault = "field \"" + UTF8(f.GetName()) + "\" of " + UTF8(p.GetName()) + ": \"" +
                             UTF8(next.value) + "\": " + why;
                    return false;
                }
            }
        }
        out->push_back(std::move(next));
    }
    return true;
}

// The value of the first field of that name as stored, and how many fields carry the name.
std::pair<std::string, int> StoredValue(const BRNPackageList& packages, const PMString& name) {
    std::string value;
    int count = 0;
    for (const BRNPackage& p : packages)
        for (const BRNField& f : p.GetFields()) {
            if (f.GetName() != name) continue;
            if (count++ == 0)
                value = f.GetType() == kBRNTypeBoolean ? (f.GetBoolValue() ? "True" : "False")
                                                       : UTF8(f.GetValue());
        }
    return {value, count};
}

// Runs the body on the open document with the service at hand (the host is started by the
// run); closes the document (unsaved) afterwards.
// With json a document that cannot be opened prints its error object whatever the layout (a
// worker's objects are laid out by its parent).
template <class Body> DocumentResult WithDocument(const std::string& file, Body body, bool json = false) {
    Utils<IBrindle> brindle;
    if (!brindle) return {Fail(kExitIO, "the metadata service is not available"), DocumentOutcome::kFailed};
    std::string error;
    IDocument* doc = CommandDocuments::Open(file, &error);
    if (!doc) {
        if (json || GetJSONLayout() != JSONLayout::kObject) PrintJSON({{"file", file}, {"error", error}});
        return {Fail(kExitIO, file + ": " + error), DocumentOutcome::kFailed};
    }
    IDataBase* db = doc->GetDocumentDataBase();
    const DocumentResult result = body(brindle.get(), doc, UIDRef(db, db->GetRootUID()));
    // A one-shot command closes without asking anyone; missing fields are what check reports.
    CommandDocuments::Close(doc, kSuppressUI);
    return result;
}

DocumentResult Done(int code, DocumentOutcome ok) {
    return {code, code == kExitOK ? ok : DocumentOutcome::kFailed};
}

DocumentResult KeyDocument(const ServiceOptions& o, const std::string& file) {
    return WithDocument(file, [&](IBrindle* brindle, IDocument*, const UIDRef&) {
        PMString k;
        brindle->GetPackageKey(k, FileUtils::FileToURL(IDFile(std::filesystem::path(file))));
        if (o.json)
            PrintJSON({{"file", file}, {"key", UTF8(k)}});
        else if (o.files.size() > 1 || o.fileArguments.Expands())
            std::cout << file << ": " << UTF8(k) << "\n";
        else
            std::cout << UTF8(k) << std::endl;
        return DocumentResult{kExitOK, DocumentOutcome::kRead};
    }, o.json);
}

DocumentResult ExpandDocument(const ServiceOptions& o, const std::string& file) {
    return WithDocument(file, [&](IBrindle* brindle, IDocument*, const UIDRef& root) {
        auto refuse = [&](const std::string& why) -> int {
            if (o.json) PrintJSON({{"file", file}, {"error", why}});
            return Fail(kExitInput, file + ": " + why);
        };
        auto run = [&]() -> int {
            BRNPackageList packages;
            if (brindle->GetDocumentPackages(packages, root, IBrindle::kAllPackages).empty())
                return refuse("the document holds no packages");
            const PMString text(o.templateText);
            PMString fault;
            if (brindle->CheckTags(root, text, fault) != kSuccess) return refuse(UTF8(fault));
            int32 errors = 0;
            PMString expanded;
            brindle->ExpandTags(expanded, root, text, errors, o.escape ? kTrue : kFalse);
            if (errors != 0) return refuse("the template could not be expanded");
            if (o.json)
                PrintJSON({{"file", file}, {"text", UTF8(expanded)}});
            else if (o.files.size() > 1 || o.fileArguments.Expands())
                std::cout << file << ": " << UTF8(expanded) << "\n";
            else
                std::cout << UTF8(expanded) << std::endl;
            return kExitOK;
        };
        return Done(run(), DocumentOutcome::kRead);
    }, o.json);
}

DocumentResult SetDocument(const ServiceOptions& o, const std::string& file) {
    return WithDocument(file, [&](IBrindle* brindle, IDocument* doc, const UIDRef& document) {
        const bool many = o.files.size() > 1 || o.fileArguments.Expands();
        auto refuse = [&](int code, const std::string& why) -> int {
            if (o.json) PrintJSON({{"file", file}, {"error", why}});
            return Fail(code, file + ": " + why);
        };
        auto run = [&]() -> int {
            // The document, or each story named.
            UIDList targets(document);
            if (o.stories.Any()) {
                std::string why;
                if (!ResolveStories(doc, o.stories, &targets, &why)) return refuse(kExitInput, why);
            }
            std::vector<std::vector<Assignment>> perTarget;
            for (int32 t = 0; t < targets.Length(); ++t) {
                const UIDRef root = targets.GetRef(t);
                BRNPackageList packages;
                if (brindle->GetDocumentPackages(packages, root, IBrindle::kAllPackages).empty())
                    return refuse(kExitInput, "the document holds no packages");
                std::vector<Assignment> assignments;
                std::string fault;
                if (!CheckAssignments(packages, o.assignments, o.force, &assignments, &fault))
                    return refuse(kExitInput, fault);
                // The calculated fields are recomputed on a copy first, so that a failing template
                // (alerted) refuses the call before anything is stored.
                BRNPackageList trial = packages;
                for (const Assignment& a : assignments) {
                    const int32 changed = BRNBrindleHelpers::ChangeFields(trial, a.name, -1, [&](BRNField& f) {
                        return BRNBrindleHelpers::SetValueByType(f, a.value);
                    });
                    if (changed < 0)
                        return refuse(kExitInput, "a calculated field's template fails; nothing was written");
                }
                perTarget.push_back(std::move(assignments));
            }

            ISession* session = GetExecutionContextSession();
            for (int32 t = 0; t < targets.Length(); ++t) {
                for (const Assignment& a : perTarget[t]) {
                    GlobalTime now;
                    now.CurrentTime();
                    BRNHistory entry(session->GetUserName(), session->GetUserAlias(), now, a.value);
                    if (brindle->SetFieldValue(targets.GetRef(t), a.name, a.value, entry) != kSuccess)
                        return refuse(kExitIO, "field \"" + UTF8(a.name) + "\" could not be stored");
                }
            }
            std::string error;
            if (!CommandDocuments::Save(doc, &error)) return refuse(kExitIO, error);

            for (int32 t = 0; t < targets.Length(); ++t) {
                const UIDRef root = targets.GetRef(t);
                const std::string story = o.stories.Any() ? Host::GetFileStorySelf(doc, root.GetUID()) : "";
                const std::string prefix = (many ? file + ": " : "") + (story.empty() ? "" : story + ": ");
                BRNPackageList packages;
                brindle->GetDocumentPackages(packages, root, IBrindle::kAllPackages);
                nlohmann::json done = nlohmann::json::array();
                for (const Assignment& a : perTarget[t]) {
                    auto [value, count] = StoredValue(packages, a.name);
                    if (o.json)
                        done.push_back({{"name", UTF8(a.name)}, {"value", value}, {"fields", count}});
                    else
                        std::cout << prefix << UTF8(a.name) << ": " << value
                                  << (count > 1 ? " (" + std::to_string(count) + " fields)" : "") << "\n";
                }
                if (o.json) {
                    nlohmann::json j = {{"file", file}, {"set", done}};
                    if (!story.empty()) j["story"] = story;
                    PrintJSON(j);
                }
            }
            std::cout << std::flush;
            return kExitOK;
        };
        return Done(run(), DocumentOutcome::kUpdated);
    }, o.json);
}

bool IsFile(const std::string& name) {
    std::error_code ec;
    return std::filesystem::exists(name, ec);
}

// The files and assignments of set: -s NAME=VALUE and the words after "--" are assignments;
// without either, the older form "set FILE NAME=VALUE..." is taken when the words after the
// first file are not files themselves.
void SplitSetArguments(ServiceOptions& o) {
    std::vector<std::string> assignments = o.setOptions;
    assignments.insert(assignments.end(), gAfterSeparator.begin(), gAfterSeparator.end());
    if (assignments.empty() && o.files.size() >= 2 && IsFile(o.files[0]) &&
        std::none_of(o.files.begin() + 1, o.files.end(), IsFile)) {
        assignments.assign(o.files.begin() + 1, o.files.end());
        o.files.resize(1);
    }
    o.assignments = assignments;
}

// Expands the arguments to the documents and runs the task on each; the exit code.
int RunOnFiles(const GlobalOptions& options, ServiceOptions& o, BatchRunner::Settings batch,
               const std::function<DocumentResult(const std::string&)>& task) {
    std::vector<std::string> files;
    std::string error;
    if (!o.fileArguments.Expand(o.files, &files, &error)) return Fail(kExitInput, error);
    if (files.empty() && !o.fileArguments.Expands()) return Fail(kExitInput, "no documents named");
    o.files = files;
    if (batch.jsonl) o.json = true;
    batch.json = o.json;
    batch.summary = o.fileArguments.Expands();
    return BatchRunner(options, batch).Run(files, task);
}

} // namespace

void SetAssignmentsAfterSeparator(std::vector<std::string> assignments) {
    gAfterSeparator = std::move(assignments);
}

void AddServiceCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<ServiceOptions>();

    auto* key = app.add_subcommand("key", "The package key of documents: ID-+-<package>-+-<version>");
    key->add_option("FILE", o->files, "Documents");
    key->add_flag("--json", o->json, "Print JSON");
    o->fileArguments.AddOptions(key);
    o->batch.AddOptions(key, true);
    key->callback([&options, &exitCode, o]() {
        exitCode =
            RunOnFiles(options, *o, o->batch, [o](const std::string& f) { return KeyDocument(*o, f); });
    });

    auto* xml = app.add_subcommand("xml", "The documents' packages as package XML (several: each after a line "
                                          "\"==> FILE <==\")");
    xml->add_option("FILE", o->files, "Documents");
    xml->add_flag("--json", o->json, "Print JSON: {\"file\", \"xml\"} per document");
    o->fileArguments.AddOptions(xml);
    o->batch.AddOptions(xml, true);
    xml->callback([&options, &exitCode, o]() {
        exitCode = RunOnFiles(options, *o, o->batch, [o](const std::string& file) {
            const bool many = o->files.size() > 1 || o->fileArguments.Expands();
            return WithDocument(file, [&](IBrindle* brindle, IDocument*, const UIDRef& root) {
                PMString text;
                brindle->GetDocumentPackagesXML(root, text, kFalse);
                PrintDocumentText(file, UTF8(text), "xml", o->json, many);
                return DocumentResult{kExitOK, DocumentOutcome::kRead};
            }, o->json);
        });
    });

    auto* expand =
        app.add_subcommand("expand", "A template's <cvbrindle:.../> tags filled in from documents");
    expand->add_option("FILE", o->files, "Documents, then the template (or give it with -t)");
    expand->add_option("-t,--template", o->templateText,
                       "Text with tags, such as 'No. <cvbrindle:IssueNo/>'");
    expand->add_flag("--escape", o->escape, "Escape each value as a URL part (blank as +, others as %XX)");
    expand->add_flag("--json", o->json, "Print JSON");
    o->fileArguments.AddOptions(expand);
    o->batch.AddOptions(expand, true);
    expand->callback([&options, &exitCode, o, expand]() {
        // Without -t the last word is the template: "expand FILE... TEMPLATE".
        if (expand->count("--template") == 0) {
            if (o->files.empty()) {
                exitCode = Fail(kExitInput, "expand: give the template last or with -t");
                return;
            }
            o->templateText = o->files.back();
            o->files.pop_back();
        }
        exitCode =
            RunOnFiles(options, *o, o->batch, [o](const std::string& f) { return ExpandDocument(*o, f); });
    });

    auto* set = app.add_subcommand(
        "set", "Set field values (every field of that name, in every package) in documents and save them");
    set->add_option("FILE", o->files, "Documents (or, in the older form, FILE NAME=VALUE...)");
    set->add_option("-s,--set", o->setOptions,
                    "NAME=VALUE; MultiChoice values joined by \", \"; also after --")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    set->add_flag("--force", o->force, "Set read-only and hidden fields too");
    set->add_flag("--json", o->json, "Print JSON");
    o->fileArguments.AddOptions(set);
    o->batch.AddOptions(set, true);
    AddStoryOptions(set, o->stories);
    set->callback([&options, &exitCode, o]() {
        SplitSetArguments(*o);
        if (o->assignments.empty()) {
            exitCode = Fail(kExitInput, "set: no NAME=VALUE given (use -s NAME=VALUE or -- NAME=VALUE...)");
            return;
        }
        BatchRunner::Settings batch = o->batch;
        batch.verb = "written";
        batch.groupCommit = true;
        exitCode = RunOnFiles(options, *o, batch, [o](const std::string& f) { return SetDocument(*o, f); });
    });
}
