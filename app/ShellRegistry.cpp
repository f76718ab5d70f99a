#include "ShellRegistry.h"

#include <algorithm>

void ShellRegistry::Add(ShellCommand command) {
    auto it = std::find_if(fCommands.begin(), fCommands.end(),
                           [&](const ShellCommand& c) { return c.name == command.name; });
    if (it != fCommands.end())
        *it = std::move(command);
    else
        fCommands.push_back(std::move(command));
}

const ShellCommand* ShellRegistry::Find(const std::string& name) const {
    auto it = std::find_if(fCommands.begin(), fCommands.end(),
                           [&](const ShellCommand& c) { return c.name == name; });
    return it == fCommands.end() ? nullptr : &*it;
}

ShellRegistry& ShellRegistry::Get() {
    static ShellRegistry registry = [] {
        ShellRegistry r;
        AddShellSessionCommands(r);
        AddShellDocumentCommands(r);
        AddShellActionCommands(r);
        AddShellPanelCommands(r);
        AddShellStoryCommands(r);
        return r;
    }();
    return registry;
}

bool SplitShellWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
    std::vector<std::string> out;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                word += c;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (quote == '"') {
            if (c == '"')
                quote = 0;
            else
                word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) out.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) {
        if (error) *error = std::string("a ") + (quote == '\'' ? "'" : "\"") + " quote is not closed";
        return false;
    }
    if (inWord) out.push_back(std::move(word));
    *words = std::move(out);
    return true;
}
