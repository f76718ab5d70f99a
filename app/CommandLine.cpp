#include "CommandLine.h"

#include "AppContext.h"

#include <algorithm>
#include <iostream>

namespace {

// The subcommand named by the arguments (the first word that names one), or null.
CLI::App* Named(CLI::App& app, const std::vector<std::string>& args, size_t* at) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") break;
        for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
            if (sub->check_name(args[i])) { // its name or an alias
                *at = i;
                return sub;
            }
    }
    return nullptr;
}

// The closest of the names to the word, when it is close enough to be a slip.
std::string Closest(const std::string& word, const std::vector<std::string>& names) {
    std::string best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 3) + 1;
    for (const std::string& n : names) {
        const size_t d = CommandLine::Distance(word, n);
        if (d < bestDistance) {
            bestDistance = d;
            best = n;
        }
    }
    return best;
}

void OptionNames(const CLI::App* app, std::vector<std::string>* names) {
    for (const CLI::Option* o : app->get_options()) {
        for (const std::string& n : o->get_lnames())
            names->push_back("--" + n);
    }
}

bool IsOption(const CLI::App* app, const std::string& word) {
    for (const CLI::Option* o : app->get_options())
        if (o->check_name(word)) return true;
    return false;
}

} // namespace

std::vector<std::string> CommandLine::Arguments(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto set = std::find(args.begin(), args.end(), "set");
    if (set == args.end()) return args;
    auto separator = std::find(set, args.end(), "--");
    if (separator == args.end()) return args;
    SetAssignmentsAfterSeparator(std::vector<std::string>(separator + 1, args.end()));
    args.erase(separator, args.end());
    return args;
}

void CommandLine::AddHelp(CLI::App& app) {
    auto command = std::make_shared<std::string>();
    auto* help = app.add_subcommand("help", "Help for a command: brindle help COMMAND");
    help->add_option("COMMAND", *command, "The command");
    help->callback([&app, command]() {
        if (command->empty()) {
            std::cout << app.help();
            return;
        }
        for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
            if (sub->get_name() == *command) {
                std::cout << sub->help();
                return;
            }
        std::vector<std::string> names;
        for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
            names.push_back(sub->get_name());
        const std::string near = Closest(*command, names);
        throw CLI::ValidationError("help", "no command \"" + *command + "\"" +
                                               (near.empty() ? "" : "; did you mean \"" + near + "\"?"));
    });
}

std::string CommandLine::Suggestion(CLI::App& app, const std::vector<std::string>& args) {
    size_t at = 0;
    CLI::App* sub = Named(app, args, &at);
    if (!sub) {
        // The first word that is not an option or an option's value names the command.
        std::vector<std::string> names;
        for (CLI::App* s : app.get_subcommands([](CLI::App*) { return true; }))
            names.push_back(s->get_name());
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& w = args[i];
            if (w.empty() || w[0] == '-') {
                if (IsOption(&app, w) && w.find('=') == std::string::npos) ++i; // its value
                continue;
            }
            const std::string near = Closest(w, names);
            if (!near.empty()) return "no command \"" + w + "\"; did you mean \"" + near + "\"?";
            return "no command \"" + w + "\"";
        }
        return {};
    }
    std::vector<std::string> names;
    OptionNames(sub, &names);
    OptionNames(&app, &names);
    for (size_t i = at + 1; i < args.size(); ++i) {
        std::string w = args[i];
        if (w == "--") break;
        if (w.size() < 3 || w.compare(0, 2, "--") != 0) continue;
        w = w.substr(0, w.find('='));
        if (IsOption(sub, w) || IsOption(&app, w)) continue;
        const std::string near = Closest(w, names);
        if (!near.empty()) return "no option \"" + w + "\"; did you mean \"" + near + "\"?";
    }
    return {};
}

size_t CommandLine::Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}
