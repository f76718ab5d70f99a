// brindle key | xml | expand | set: a document's packages through the metadata service.
#include "AppContext.h"

#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "io/FileUtils.h"
#include "logic/BRNPackageUtils.h"
#include "service/BRNBrindleHelpers.h"
#include "service/IBrindle.h"
#include "session/ISession.h"
#include "session/Utils.h"

#include <algorithm>
#include <iostream>
#include <set>

namespace {

struct ServiceOptions {
    std::string file;
    std::string templateText;
    std::vector<std::string> assignments;
    bool escape = false;
    bool json = false;
};

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
                   : "a Boolean takes True or False";
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

// Each NAME=VALUE checked against the fields of that name in every package; the first fault
// refuses the whole call.
bool CheckAssignments(const BRNPackageList& packages, const std::vector<std::string>& given,
                      std::vector<Assignment>* out, std::string* fault) {
    for (const std::string& a : given) {
        const size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0) {
            *fault = "\"" + a + "\" is not NAME=VALUE";
            return false;
        }
        Assignment next{PMString(a.substr(0, eq)), PMString(a.substr(eq + 1))};
        next.value.SetTranslatable(kFalse);
        int found = 0;
        std::string shortNameOf;
        for (const BRNPackage& p : packages) {
            for (const BRNField& f : p.GetFields()) {
                if (f.GetShortName() == next.name && shortNameOf.empty()) shortNameOf = UTF8(f.GetName());
                if (f.GetName() != next.name) continue;
                ++found;
                std::string why = ValueFault(f, next.value);
                if (!why.empty()) {
                    *fault = "field \"" + UTF8(f.GetName()) + "\" of " + UTF8(p.GetName()) + ": \"" +
                             UTF8(next.value) + "\": " + why;
                    return false;
                }
            }
        }
        if (found == 0) {
            *fault = "no field named \"" + UTF8(next.name) + "\"";
            if (!shortNameOf.empty()) *fault += " (it is the short name of \"" + shortNameOf + "\")";
            return false;
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

// Runs the body with the host started, the document open and the service at hand; closes the
// document (unsaved) afterwards.
template <class Body>
void WithDocument(const GlobalOptions& options, const std::string& file, int& exitCode, Body body) {
    HostSessionScope host(options);
    if (!host.ok()) {
        exitCode = Fail(kExitIO, "the plug-in could not be started");
        return;
    }
    Utils<IBrindle> brindle;
    if (!brindle) {
        exitCode = Fail(kExitIO, "the metadata service is not available");
        return;
    }
    std::string error;
    IDocument* doc = Host::OpenDocument(IDFile(std::filesystem::path(file)), &error);
    if (!doc) {
        exitCode = Fail(kExitIO, file + ": " + error);
        return;
    }
    IDataBase* db = doc->GetDocumentDataBase();
    exitCode = body(brindle.get(), doc, UIDRef(db, db->GetRootUID()));
    // A one-shot command closes without asking anyone; missing fields are what check reports.
    Host::CloseDocument(doc, kSuppressUI);
}

} // namespace

void AddServiceCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<ServiceOptions>();

    auto* key = app.add_subcommand("key", "The package key of a document: ID-+-<package>-+-<version>");
    key->add_option("FILE", o->file, "Document")->required();
    key->add_flag("--json", o->json, "Print JSON");
    key->callback([&options, &exitCode, o]() {
        WithDocument(options, o->file, exitCode, [&](IBrindle* brindle, IDocument*, const UIDRef&) -> int {
            PMString k;
            brindle->GetPackageKey(k, FileUtils::FileToURL(IDFile(std::filesystem::path(o->file))));
            if (o->json)
                PrintJSON({{"file", o->file}, {"key", UTF8(k)}});
            else
                std::cout << UTF8(k) << std::endl;
            return kExitOK;
        });
    });

    auto* xml = app.add_subcommand("xml", "The document's packages as package XML");
    xml->add_option("FILE", o->file, "Document")->required();
    xml->callback([&options, &exitCode, o]() {
        WithDocument(options, o->file, exitCode,
                     [&](IBrindle* brindle, IDocument*, const UIDRef& root) -> int {
                         PMString text;
                         brindle->GetDocumentPackagesXML(root, text, kFalse);
                         std::cout << UTF8(text) << std::flush;
                         return kExitOK;
                     });
    });

    auto* expand =
        app.add_subcommand("expand", "A template's <cvbrindle:.../> tags filled in from the document");
    expand->add_option("FILE", o->file, "Document")->required();
    expand->add_option("TEMPLATE", o->templateText, "Text with tags, such as 'No. <cvbrindle:IssueNo/>'")
        ->required();
    expand->add_flag("--escape", o->escape, "Escape each value as a URL part (blank as +, others as %XX)");
    expand->add_flag("--json", o->json, "Print JSON");
    expand->callback([&options, &exitCode, o]() {
        WithDocument(options, o->file, exitCode,
                     [&](IBrindle* brindle, IDocument*, const UIDRef& root) -> int {
                         auto refuse = [&](const std::string& why) -> int {
                             if (o->json) PrintJSON({{"file", o->file}, {"error", why}});
                             return Fail(kExitInput, o->file + ": " + why);
                         };
                         BRNPackageList packages;
                         if (brindle->GetDocumentPackages(packages, root, IBrindle::kAllPackages).empty())
                             return refuse("the document holds no packages");
                         const PMString text(o->templateText);
                         PMString fault;
                         if (brindle->CheckTags(root, text, fault) != kSuccess) return refuse(UTF8(fault));
                         int32 errors = 0;
                         PMString expanded;
                         brindle->ExpandTags(expanded, root, text, errors, o->escape ? kTrue : kFalse);
                         if (errors != 0) return refuse("the template could not be expanded");
                         if (o->json)
                             PrintJSON({{"file", o->file}, {"text", UTF8(expanded)}});
                         else
                             std::cout << UTF8(expanded) << std::endl;
                         return kExitOK;
                     });
    });

    auto* set =
        app.add_subcommand("set", "Set field values (every field of that name, in every package) and save");
    set->add_option("FILE", o->file, "Document")->required();
    set->add_option("NAME=VALUE", o->assignments, "Field name and value; MultiChoice values joined by \", \"")
        ->required();
    set->add_flag("--json", o->json, "Print JSON");
    set->callback([&options, &exitCode, o]() {
        WithDocument(
            options, o->file, exitCode, [&](IBrindle* brindle, IDocument* doc, const UIDRef& root) -> int {
                auto refuse = [&](int code, const std::string& why) -> int {
                    if (o->json) PrintJSON({{"file", o->file}, {"error", why}});
                    return Fail(code, o->file + ": " + why);
                };
                BRNPackageList packages;
                if (brindle->GetDocumentPackages(packages, root, IBrindle::kAllPackages).empty())
                    return refuse(kExitInput, "the document holds no packages");
                std::vector<Assignment> assignments;
                std::string fault;
                if (!CheckAssignments(packages, o->assignments, &assignments, &fault))
                    return refuse(kExitInput, fault);
                // The calculated fields are recomputed on a copy first, so that a failing template
                // (alerted) refuses the call before anything is stored.
                BRNPackageList trial = packages;
                for (const Assignment& a : assignments) {
                    const int32 changed = BRNBrindleHelpers::ChangeFields(
                        trial, a.name, -1, [&](BRNField& f) { return BRNBrindleHelpers::SetValueByType(f, a.value); });
                    if (changed < 0)
                        return refuse(kExitInput, "a calculated field's template fails; nothing was written");
                }

                ISession* session = GetExecutionContextSession();
                for (const Assignment& a : assignments) {
                    GlobalTime now;
                    now.CurrentTime();
                    BRNHistory entry(session->GetUserName(), session->GetUserAlias(), now, a.value);
                    if (brindle->SetFieldValue(root, a.name, a.value, entry) != kSuccess)
                        return refuse(kExitIO, "field \"" + UTF8(a.name) + "\" could not be stored");
                }
                std::string error;
                if (!Host::SaveDocument(doc, &error)) return refuse(kExitIO, error);

                brindle->GetDocumentPackages(packages, root, IBrindle::kAllPackages);
                nlohmann::json done = nlohmann::json::array();
                for (const Assignment& a : assignments) {
                    auto [value, count] = StoredValue(packages, a.name);
                    if (o->json)
                        done.push_back({{"name", UTF8(a.name)}, {"value", value}, {"fields", count}});
                    else
                        std::cout << UTF8(a.name) << ": " << value
                                  << (count > 1 ? " (" + std::to_string(count) + " fields)" : "") << "\n";
                }
                if (o->json) PrintJSON({{"file", o->file}, {"set", done}});
                std::cout << std::flush;
                return kExitOK;
            });
    });
}
