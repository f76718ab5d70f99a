// brindle packages | dump-xmp
#include "AppContext.h"

#include "BRNPackageUtils.h"
#include "DocumentHost.h"
#include "IDataBase.h"
#include "IDocument.h"
#include "IXMPPacketAccess.h"
#include "InterfacePtr.h"

#include <iostream>

namespace {

struct DocumentOptions {
    bool json = false;
    std::vector<std::string> files;
    std::string file;
};

nlohmann::json Strings(const PMStringList& values) {
    nlohmann::json a = nlohmann::json::array();
    for (const auto& v : values) a.push_back(UTF8(v));
    return a;
}

std::string TimeText(const GlobalTime& t) {
    int32 y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    t.GetTime(&y, &mo, &d, &h, &mi, &s);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
    return buf;
}

nlohmann::json PackageJSON(const BRNPackage& p) {
    nlohmann::json fields = nlohmann::json::array();
    for (const BRNField& f : p.GetFields()) {
        nlohmann::json history = nlohmann::json::array();
        for (const BRNHistory& h : f.GetHistory())
            history.push_back({{"user", UTF8(h.GetUser())},
                               {"alias", UTF8(h.GetAlias())},
                               {"time", TimeText(h.GetTime())},
                               {"value", UTF8(h.GetValue())}});
        nlohmann::json j = {{"name", UTF8(f.GetName())},
                            {"shortName", UTF8(f.GetShortName())},
                            {"description", UTF8(f.GetDescription())},
                            {"type", f.GetType()},
                            {"typeName", UTF8(BRNField::TypeName(f.GetType()))},
                            {"value", UTF8(f.GetValue())},
                            {"boolValue", f.GetBoolValue() != 0},
                            {"required", f.GetRequired() != 0},
                            {"hidden", f.GetHidden() != 0},
                            {"readOnly", f.GetReadOnly() != 0},
                            {"hasDefault", f.GetHasDefault() != 0},
                            {"defaultValue", UTF8(f.GetDefaultValue())},
                            {"allowUserValues", f.GetAllowUserValues() != 0},
                            {"fieldOverridden", f.GetFieldOverridden() != 0},
                            {"visibleLines", f.GetVisibleLines()},
                            {"options", Strings(f.GetOptions())},
                            {"defaultValues", Strings(f.GetDefaultValues())},
                            {"selectedValues", Strings(f.GetSelectedValues())},
                            {"history", history}};
        if (f.GetType() == kBRNTypeDeadline)
            j["deadline"] = {{"plannedDate", UTF8(f.GetDeadline().PlannedDate)},
                             {"executedDate", UTF8(f.GetDeadline().ExecutedDate)},
                             {"executedBy", UTF8(f.GetDeadline().ExecutedBy)}};
        fields.push_back(j);
    }
    return {{"name", UTF8(p.GetName())},       {"version", p.GetVersion()},
            {"timestamp", p.GetTimestamp()},   {"enabled", p.GetEnabled() != 0},
            {"hasPassword", p.HasPassword()}, {"fields", fields}};
}

void PrintPackages(const std::string& file, const BRNPackageList& packages) {
    std::cout << file << ": " << packages.size() << (packages.size() == 1 ? " package" : " packages") << "\n";
    for (const BRNPackage& p : packages) {
        std::cout << "  " << UTF8(p.GetName()) << " version " << p.GetVersion()
                  << (p.GetEnabled() ? "" : " (disabled)") << "\n";
        for (const BRNField& f : p.GetFields()) {
            std::string value = f.GetType() == kBRNTypeBoolean ? (f.GetBoolValue() ? "True" : "False")
                                                               : UTF8(f.GetValue());
            std::cout << "    " << UTF8(f.GetName()) << " [" << UTF8(f.GetShortName()) << "] "
                      << UTF8(BRNField::TypeName(f.GetType())) << (f.GetRequired() ? ", required" : "") << ": "
                      << value;
            if (!f.GetHistory().empty()) std::cout << "  (" << f.GetHistory().size() << " changes)";
            std::cout << "\n";
        }
    }
}

} // namespace

void AddDocumentCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<DocumentOptions>();

    auto* packages = app.add_subcommand("packages", "The packages each document's XMP holds");
    packages->add_option("FILE", o->files, "Documents (any file with an XMP packet or sidecar)")->required();
    packages->add_flag("--json", o->json, "Print JSON");
    packages->callback([&options, &exitCode, o]() {
        HostSessionScope host(options);
        if (!host.ok()) {
            exitCode = Fail(kExitIO, "the plug-in could not be started");
            return;
        }
        exitCode = kExitOK;
        nlohmann::json documents = nlohmann::json::array();
        for (const std::string& name : o->files) {
            std::string error;
            IDocument* doc = Host::OpenDocument(IDFile(std::filesystem::path(name)), &error);
            if (!doc) {
                Fail(kExitIO, name + ": " + error);
                exitCode = kExitIO;
                if (o->json) documents.push_back({{"file", name}, {"error", error}});
                continue;
            }
            IDataBase* db = doc->GetDocumentDataBase();
            BRNPackageList list = BRNPackageUtils::ReadPackages(UIDRef(db, db->GetRootUID()));
            if (o->json) {
                nlohmann::json a = nlohmann::json::array();
                for (const auto& p : list) a.push_back(PackageJSON(p));
                documents.push_back({{"file", name}, {"packages", a}});
            } else {
                PrintPackages(name, list);
            }
            Host::CloseDocument(doc);
        }
        if (o->json) PrintJSON({{"documents", documents}});
    });

    auto* dump = app.add_subcommand("dump-xmp", "The document's whole XMP packet as RDF/XML");
    dump->add_option("FILE", o->file, "Document")->required();
    dump->callback([&options, &exitCode, o]() {
        HostSessionScope host(options);
        std::string error;
        IDocument* doc = host.ok() ? Host::OpenDocument(IDFile(std::filesystem::path(o->file)), &error) : nullptr;
        if (!doc) {
            exitCode = Fail(kExitIO, o->file + ": " + (host.ok() ? error : "the plug-in could not be started"));
            return;
        }
        InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
        std::cout << (xmp ? xmp->SerializePacket() : std::string());
        Host::CloseDocument(doc);
        exitCode = kExitOK;
    });
}
