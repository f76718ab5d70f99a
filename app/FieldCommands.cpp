// brindle tags | eval | deadline-colour
#include "AppContext.h"

#include "files/BRNUtils.h"
#include "logic/BRNPackageUtils.h"
#include "model/BRNDeadline.h"
#include "objectmodel/InterfacePtr.h"

#include <iostream>

namespace {
struct FieldOptions {
    bool json = false;
    bool escape = false;
    bool checkRequired = false;
    std::string name;
    std::string templateText;
    std::string planned;
    std::string executed;
};
} // namespace

void AddFieldCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<FieldOptions>();

    auto run = [&options, &exitCode](auto body) {
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

    auto* tags = app.add_subcommand("tags", "The tags a library package offers for calculated fields");
    tags->add_option("NAME", o->name, "Package name")->required();
    tags->add_flag("--json", o->json, "Print JSON");
    tags->callback(run([o](IBRNPrefs* prefs) -> int {
        const BRNPackage* p = prefs->FindPackage(PMString(o->name));
        if (!p) return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
        BRNTagList list = BRNPackageUtils::GetTagList(p);
        if (o->json) {
            nlohmann::json a = nlohmann::json::array();
            for (const auto& e : list)
                a.push_back({{"tag", UTF8(e.GetTag())}, {"description", UTF8(e.GetDescription())}});
            PrintJSON({{"package", UTF8(p->GetName())}, {"tags", a}});
        } else {
            for (const auto& e : list)
                std::cout << UTF8(e.GetTag()) << "\t" << UTF8(e.GetDescription()) << "\n";
        }
        return kExitOK;
    }));

    auto* eval =
        app.add_subcommand("eval", "Evaluate a template against a library package with its defaults applied");
    eval->add_option("NAME", o->name, "Package name")->required();
    eval->add_option("TEMPLATE", o->templateText, "Text with <cvbrindle:.../> tags")->required();
    eval->add_flag("--escape", o->escape, "Escape each substituted value");
    eval->add_flag("--check-required", o->checkRequired,
                   "Fail when a required field named by a tag is empty");
    eval->callback(run([o](IBRNPrefs* prefs) -> int {
        const BRNPackage* p = prefs->FindPackage(PMString(o->name));
        if (!p) return Fail(kExitInput, "no package named \"" + o->name + "\" in the library");
        BRNPackage package = *p;
        BRNPackageUtils::ApplyDefaults(package);
        bool16 ok = kFalse;
        PMString result =
            BRNPackageUtils::EvaluateTags(package, PMString(o->templateText), &ok, o->escape ? kTrue : kFalse,
                                          o->checkRequired ? kTrue : kFalse);
        if (!ok) return Fail(kExitInput, "the template does not check against package \"" + o->name + "\"");
        std::cout << UTF8(result) << "\n";
        return kExitOK;
    }));

    auto* colour =
        app.add_subcommand("deadline-colour", "Hours left and the colour a package's deadline table gives");
    colour->alias("deadline-color");
    colour->add_option("NAME", o->name, "Package name (its table comes from the defaults files)")->required();
    colour->add_option("PLANNED", o->planned, "Planned date, yyyy/mm/dd (may be empty)")->required();
    colour->add_option("EXECUTED", o->executed, "Executed date, yyyy/mm/dd (may be empty)");
    colour->add_flag("--json", o->json, "Print JSON");
    colour->callback(run([o](IBRNPrefs*) -> int {
        PMString planned(o->planned), executed(o->executed);
        if (!BRNUtils::CheckDeadlineDates(planned, executed))
            return Fail(kExitInput, "not a date: use yyyy/mm/dd");
        BRNDeadline deadline(planned, executed, PMString());
        deadline.Colors = BRNUtils::GetDeadlineColors(PMString(o->name));
        int32 hours = deadline.GetHoursLeft();
        bool entryApplied = false;
        RGBColor c = deadline.GetDeadlineColor(&entryApplied);
        // Whether a table entry chose the colour, not whether the colour looks like the default.
        const bool isDefault = !entryApplied;
        if (o->json) {
            PrintJSON({{"package", o->name},
                       {"plannedDate", o->planned},
                       {"executedDate", o->executed},
                       {"hoursLeft", hours},
                       {"red", c.red},
                       {"green", c.green},
                       {"blue", c.blue},
                       {"defaultColour", isDefault},
                       {"tableEntries", deadline.Colors.size()}});
        } else {
            std::cout << "hours left: " << hours << "\n"
                      << "colour:     " << c.red << " " << c.green << " " << c.blue
                      << (isDefault ? " (default)" : "") << "\n"
                      << "table:      " << deadline.Colors.size() << " entries\n";
        }
        return kExitOK;
    }));
}
