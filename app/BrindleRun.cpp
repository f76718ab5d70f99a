// The command line of brindle: global options and every command.
#include "AppContext.h"
#include "CommandLine.h"
#include "io/Datagram.h"

#include <iostream>

#ifndef BRINDLE_VERSION
#define BRINDLE_VERSION "0"
#endif

namespace {

void AddGlobalOptions(CLI::App& app, GlobalOptions& options) {
    app.add_option("--home", options.home,
                   "Folder holding the roaming and recovery folders (default: XDG folders)");
    app.add_option("--plugin-dir", options.pluginDir,
                   "Folder of the plug-in module: defaults files and marker files");
    app.add_option("--edition", options.edition, "Host edition")->check(CLI::IsMember({"layout", "text"}));
    app.add_option("--user", options.user, "User name (default: $USER, else the account's name)");
    app.add_option("--alias", options.alias, "The user's alias");
    app.add_option("--answer", options.answer, "Answer every Yes/No alert and message dialog")
        ->check(CLI::IsMember({"yes", "no"}));
    app.add_option("--dialog-answer", options.dialogAnswers,
                   "Answer a dialog: \"DIALOG FIELD=VALUE... [--button B]\", one attempt; repeatable")
        ->allow_extra_args(false)
        ->check([](const std::string& text) {
            std::vector<std::string> words;
            std::string error;
            return ParseDialogAnswer(text, &words, &error) ? std::string() : error;
        });
    app.add_option("--log-level", options.logLevel,
                   "Diagnostic threshold: 0 off, 30 errors, 75 trace, 1000+ extended")
        ->check(CLI::Range(0, 65535));
    app.add_option("--log-file", options.logFile,
                   "Write diagnostic lines to this file instead of standard error");
    app.add_option("--companion", options.companion,
                   "Announce document open, save and close by UDP to ADDR:PORT (default: nowhere)")
        ->check([](const std::string& v) {
            return Datagram::ParseDestination(v, nullptr, nullptr) ? std::string()
                                                                   : std::string("expected IPv4-ADDR:PORT");
        });
}

// The words parsed against the app; the exit code of the command they name.
int Parse(CLI::App& app, const std::vector<std::string>& args, const int& exitCode) {
    try {
        // CLI11 takes the words last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != 0) {
            const std::string hint = CommandLine::Suggestion(app, args);
            if (!hint.empty()) return Fail(kExitInput, hint);
        }
        int rc = app.exit(e);
        return rc == 0 ? kExitOK : kExitInput;
    }
    return exitCode;
}

} // namespace

int RunDocumentCommand(const std::vector<std::string>& words) {
    CLI::App app{"brindle"};
    app.name("brindle");
    app.require_subcommand(1);
    GlobalOptions options;
    int exitCode = kExitOK;
    AddFieldCommands(app, options, exitCode);
    AddDocumentCommands(app, options, exitCode);
    AddServiceCommands(app, options, exitCode);
    AddPackageCommands(app, options, exitCode);
    AddStoryCommands(app, options, exitCode);
    SetAssignmentsAfterSeparator({});
    return Parse(app, words, exitCode);
}

extern "C" int BrindleRun(int argc, char** argv) {
    CLI::App app{"brindle: read, fill, check and upgrade package metadata in documents"};
    app.name("brindle");
    app.require_subcommand(1);
    app.set_version_flag("--version", "brindle " BRINDLE_VERSION);
    // Global options may come after the command too: "brindle check --home DIR FILE".
    app.fallthrough();
    GlobalOptions options;
    AddGlobalOptions(app, options);

    int exitCode = kExitOK;
    AddLibraryCommands(app, options, exitCode);
    AddSettingsCommands(app, options, exitCode);
    AddFieldCommands(app, options, exitCode);
    AddDocumentCommands(app, options, exitCode);
    AddServiceCommands(app, options, exitCode);
    AddPackageCommands(app, options, exitCode);
    AddStoryCommands(app, options, exitCode);
    AddShellCommand(app, options, exitCode);
    AddServeCommands(app, options, exitCode);
    CommandLine::AddHelp(app);

    if (argc < 2) {
        std::cout << app.help();
        return kExitInput;
    }
    return Parse(app, CommandLine::Arguments(argc, argv), exitCode);
}
