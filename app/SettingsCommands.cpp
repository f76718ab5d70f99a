// brindle settings [set KEY VALUE]
#include "AppContext.h"

#include "files/BRNPrefsPrst.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"

#include <iostream>

namespace {
struct SettingsOptions {
    bool json = false;
    std::string key;
    std::string value;
};

bool ParseBool(const std::string& v, bool16* out) {
    if (v == "true" || v == "on" || v == "yes" || v == "1") {
        *out = kTrue;
        return true;
    }
    if (v == "false" || v == "off" || v == "no" || v == "0") {
        *out = kFalse;
        return true;
    }
    return false;
}
} // namespace

void AddSettingsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* settings = app.add_subcommand("settings", "Show or change the application settings");
    auto o = std::make_shared<SettingsOptions>();
    settings->add_flag("--json", o->json, "Print JSON");

    auto* set = settings->add_subcommand("set", "Change one setting");
    set->add_option("KEY", o->key, "UseDefaultPackage, UseLatestPackage or DataType")
        ->required()
        ->check(CLI::IsMember({"UseDefaultPackage", "UseLatestPackage", "DataType"}));
    set->add_option("VALUE", o->value, "true/false, or InDesign/InCopy/Assignment for DataType")->required();

    settings->callback([&options, &exitCode, o, set]() {
        HostSessionScope host(options);
        InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
        if (!host.ok() || !prefs) {
            exitCode = Fail(kExitIO, "the plug-in could not be started");
            return;
        }
        if (set->parsed()) {
            bool16 flag = kFalse;
            if (o->key == "DataType") {
                int32 type = -1;
                for (int32 t = 0; t < 3; ++t)
                    if (o->value == UTF8(BRNPrefsPrst::DataTypeName(t)) || o->value == std::to_string(t))
                        type = t;
                if (type < 0) {
                    exitCode = Fail(kExitInput, "DataType must be InDesign, InCopy or Assignment");
                    return;
                }
                prefs->SetDataType(type);
            } else if (!ParseBool(o->value, &flag)) {
                exitCode = Fail(kExitInput, o->key + " must be true or false");
                return;
            } else if (o->key == "UseDefaultPackage") {
                prefs->SetUseDefaultPackage(flag);
            } else {
                prefs->SetUseLatestPackage(flag);
            }
            if (!prefs->GetLastSaveSucceeded()) {
                const std::string why = UTF8(prefs->GetLastSaveError());
                exitCode = Fail(kExitIO, "the settings file could not be saved" +
                                             (why.empty() ? std::string() : ": " + why));
                return;
            }
        }
        IDFile settingsFile, packagesFolder;
        prefs->GetSettingsFile(&settingsFile);
        prefs->GetPackagesFolder(&packagesFolder);
        bool useDefault = prefs->GetUseDefaultPackage() != 0;
        bool useLatest = prefs->GetUseLatestPackage() != 0;
        std::string dataType = UTF8(BRNPrefsPrst::DataTypeName(prefs->GetDataType()));
        if (o->json) {
            PrintJSON({{"useDefaultPackage", useDefault},
                       {"useLatestPackage", useLatest},
                       {"dataType", dataType},
                       {"packageCount", prefs->GetPackages().size()},
                       {"settingsFile", settingsFile.Path().string()},
                       {"packagesFolder", packagesFolder.Path().string()}});
        } else {
            std::cout << "UseDefaultPackage  " << (useDefault ? "true" : "false") << "\n"
                      << "UseLatestPackage   " << (useLatest ? "true" : "false") << "\n"
                      << "DataType           " << dataType << "\n"
                      << "settings file      " << settingsFile.Path().string() << "\n"
                      << "packages folder    " << packagesFolder.Path().string() << "\n";
        }
        exitCode = kExitOK;
    });
}
