// The habits of the command line: usage without arguments, help for a command, near-miss
// names answered with "did you mean", and set's assignments after "--".
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

class CommandLine {
public:
    // The words of the command line; for set, the words after "--" are handed over as its
    // assignments and taken off.
    static std::vector<std::string> Arguments(int argc, char** argv);
    // Adds "help [COMMAND]".
    static void AddHelp(CLI::App& app);
    // After a parse error: the closest command or option to a word that is none, or empty.
    static std::string Suggestion(CLI::App& app, const std::vector<std::string>& args);
    // Edits (insert, delete, replace one character) that make a into b.
    static size_t Distance(const std::string& a, const std::string& b);
};
