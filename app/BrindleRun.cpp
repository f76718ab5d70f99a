// The command line of brindle: global options and every command.
#include "AppContext.h"
#include "CommandLine.h"
#include "io/Datagram.h"

#include <algorithm>
#include <functional>
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

struct CommandGroup {
    void (*add)(CLI::App& app, const GlobalOptions& options, int& exitCode);
    std::vector<std::string> names;
};

// What a lenient parse answers when the words do not simply parse.
constexpr int kRetryWithEveryCommand = -1000;

// The words parsed against the app; the exit code of the command they name. A lenient parse
// leaves every parse error (help included) to a parse against the whole command line.
int Parse(CLI::App& app, const std::vector<std::string>& args, const int& exitCode, bool lenient = false) {
    try {
        // CLI11 takes the words last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        if (lenient) return kRetryWithEveryCommand;
        if (e.get_exit_code() != 0) {
            const std::string hint = CommandLine::Suggestion(app, args);
            if (!hint.empty()) return Fail(kExitInput, hint);
        }
        int rc = app.exit(e);
        return rc == 0 ? kExitOK : kExitInput;
    }
    return exitCode;
}

// The commands, in the order the usage lists them, in the groups that add them, with the
// names and aliases each group's commands answer to (a test holds the names to the groups).
const std::vector<CommandGroup>& Groups() {
    static const std::vector<CommandGroup> groups = {
        {AddLibraryCommands, {"library"}},
        {AddSettingsCommands, {"settings"}},
        {AddFieldCommands, {"tags", "eval", "deadline-colour", "deadline-color"}},
        {AddDocumentCommands, {"packages", "dump-xmp"}},
        {AddServiceCommands, {"key", "xml", "expand", "set"}},
        {AddPackageCommands, {"apply", "upgrade", "check"}},
        {AddStoryCommands, {"stories"}},
        {AddShellCommand, {"shell"}},
        {AddServeCommands, {"serve"}},
    };
    return groups;
}

// The group of the command the words name, when a scan can tell without the whole command
// line: the first word that is neither a global option nor its value names the command. -1
// when it cannot (another option first, no command, a word that is no command, or help).
int GroupNamed(const std::vector<std::string>& args, bool globals) {
    static const char* const kWithValue[] = {"--home",      "--plugin-dir", "--edition",   "--user",
                                             "--alias",     "--answer",     "--dialog-answer", "--log-level",
                                             "--log-file", "--companion"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.empty()) return -1;
        if (word[0] != '-') {
            for (size_t g = 0; g < Groups().size(); ++g)
                for (const std::string& name : Groups()[g].names)
                    if (word == name) return static_cast<int>(g);
            return -1;
        }
        if (!globals) return -1;
        const std::string name = word.substr(0, word.find('='));
        const bool known = std::any_of(std::begin(kWithValue), std::end(kWithValue),
                                       [&](const char* o) { return name == o; });
        if (!known) return -1;
        if (name.size() == word.size()) ++i; // its value is the next word
    }
    return -1;
}

// Parses the words against the app that `build` makes of the groups it is given: first with
// only the group of the command the words name (most of the work of starting is adding every
// command's options), and again with every group when that parse does not simply succeed, so
// that help, errors and suggestions are those of the whole command line.
int ParseLazily(const std::vector<std::string>& args, bool globals,
                const std::function<int(const std::vector<const CommandGroup*>&, bool lenient)>& build) {
    if (const int g = GroupNamed(args, globals); g >= 0) {
        const int rc = build({&Groups()[static_cast<size_t>(g)]}, true);
        if (rc != kRetryWithEveryCommand) return rc;
    }
    std::vector<const CommandGroup*> every;
    for (const CommandGroup& group : Groups())
        every.push_back(&group);
    return build(every, false);
}

} // namespace

int RunDocumentCommand(const std::vector<std::string>& words) {
    // The shell's requests on documents: the commands of every group but the library's,
    // settings', shell's and server's, and no global options.
    return ParseLazily(words, false, [&](const std::vector<const CommandGroup*>& groups, bool lenient) {
        CLI::App app{"brindle"};
        app.name("brindle");
        app.require_subcommand(1);
        GlobalOptions options;
        int exitCode = kExitOK;
        for (const CommandGroup* g : groups)
            if (g->add != AddLibraryCommands && g->add != AddSettingsCommands && g->add != AddShellCommand &&
                g->add != AddServeCommands)
                g->add(app, options, exitCode);
        SetAssignmentsAfterSeparator({});
        return Parse(app, words, exitCode, lenient);
    });
}

extern "C" int BrindleRun(int argc, char** argv) {
    const std::vector<std::string> args = CommandLine::Arguments(argc, argv);
    return ParseLazily(args, true, [&](const std::vector<const CommandGroup*>& groups, bool lenient) {
        CLI::App app{"brindle: read, fill, check and upgrade package metadata in documents"};
        app.name("brindle");
        app.require_subcommand(1);
        app.set_version_flag("--version", "brindle " BRINDLE_VERSION);
        // Global options may come after the command too: "brindle check --home DIR FILE".
        app.fallthrough();
        GlobalOptions options;
        AddGlobalOptions(app, options);
        int exitCode = kExitOK;
        for (const CommandGroup* g : groups)
            g->add(app, options, exitCode);
        CommandLine::AddHelp(app);
        if (args.empty()) {
            std::cout << app.help();
            return int(kExitInput);
        }
        return Parse(app, args, exitCode, lenient);
    });
}

std::vector<std::vector<std::string>> CommandNamesByGroup(bool asAdded) {
    std::vector<std::vector<std::string>> names;
    for (const CommandGroup& g : Groups()) {
        if (!asAdded) {
            names.push_back(g.names);
            continue;
        }
        CLI::App app;
        GlobalOptions options;
        int exitCode = kExitOK;
        g.add(app, options, exitCode);
        names.emplace_back();
        for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
            names.back().push_back(sub->get_name());
            for (const std::string& alias : sub->get_aliases())
                names.back().push_back(alias);
        }
    }
    return names;
}
