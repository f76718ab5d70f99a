// The commands of `brindle shell`: one registry of named handlers that every group of shell
// commands adds to.
//
// To add commands to the shell, write a group function
//
//     void AddShellPanelCommands(ShellRegistry& registry) {
//         registry.Add({"panel", "panel [set ROW VALUE | click WIDGET | ...]", "The metadata panel",
//                       [](ShellSession& session, const ShellArgs& args, std::ostream& out) {
//                           ...
//                           return kExitOK;
//                       }});
//     }
//
// declare it below and call it from ShellRegistry::Get (ShellRegistry.cpp). A handler gets the
// words after the command's name (quotes removed) and the stream for its result; it reports
// faults with Fail (standard error) and returns the exit code: 0 on success, else the codes
// of ExitCode (AppContext.h). A script stops at the first command that does not answer 0.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

class ShellSession;
using ShellArgs = std::vector<std::string>;
using ShellHandler = std::function<int(ShellSession& session, const ShellArgs& args, std::ostream& out)>;

struct ShellCommand {
    std::string name;
    std::string usage;   // "close [FILE] [--no-cancel]", for help
    std::string summary; // one line, for help
    ShellHandler run;
};

class ShellRegistry {
public:
    // Adds the command; one of the same name added before is replaced.
    void Add(ShellCommand command);
    const ShellCommand* Find(const std::string& name) const;
    // In the order added.
    const std::vector<ShellCommand>& All() const { return fCommands; }

    // The shell's registry, every group added.
    static ShellRegistry& Get();

private:
    std::vector<ShellCommand> fCommands;
};

// The groups. Session: open, new, front, documents, save, save-as, close, revert, undo, redo,
// history, select, answer, log, help, quit (ShellSession.cpp).
void AddShellSessionCommands(ShellRegistry& registry);
// The one-shot commands that work on documents, run on the front document or the selection:
// packages, set, apply, upgrade, check, key, xml, expand (ShellDocumentCommands.cpp).
void AddShellDocumentCommands(ShellRegistry& registry);
// The plug-in's menu actions: action NAME, menu (ShellActionCommands.cpp).
void AddShellActionCommands(ShellRegistry& registry);
// The metadata panel: panel [set|click|choose|mode], about (ShellPanelCommands.cpp).
void AddShellPanelCommands(ShellRegistry& registry);
// The text-editing workflow: story, place, assignment (ShellStoryCommands.cpp).
void AddShellStoryCommands(ShellRegistry& registry);

// Splits a shell line into words at blanks: '...' keeps everything as it is, "..." and a
// backslash escape the next character; a word starting with # outside quotes starts a
// comment. False, with the reason, when a quote is not closed.
bool SplitShellWords(const std::string& line, std::vector<std::string>* words, std::string* error);
