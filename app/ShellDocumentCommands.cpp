// The one-shot commands that work on documents, as shell requests: each runs as its one-shot
// command would, on the front document (or the stories selected in it), which stays open and
// unsaved.
#include "ShellSession.h"

#include <algorithm>

namespace {

struct DocumentCommand {
    const char* name;
    const char* usage;
    const char* summary;
    bool takesSelection; // --story / --frame
};

const DocumentCommand kCommands[] = {
    {"packages", "packages [--json]", "The front document's packages as they are now", true},
    {"set", "set NAME=VALUE... [--force]", "Set field values of the front document or the selected stories", true},
    {"apply", "apply PACKAGE [--all-stories]", "Apply a library package to the front document or the selection",
     true},
    {"upgrade", "upgrade [--json]", "Bring the front document's packages to the library's versions", false},
    {"check", "check [--json]", "Required fields, dates and templates of the front document or the selection",
     true},
    {"key", "key [--json]", "The front document's package key", false},
    {"xml", "xml", "The front document's packages as package XML", false},
    {"expand", "expand TEMPLATE [--escape] [--json]", "A template's tags filled in from the front document",
     false},
};

// The words of the one-shot command line: the command, the front document's file, the words
// given (set's NAME=VALUE words as -s options) and the selection.
int Run(const DocumentCommand& c, ShellSession& s, const ShellArgs& args) {
    IDocument* doc = s.Front();
    if (!doc) return kExitInput;
    const std::string file = ShellSession::FileOf(doc);
    if (file.empty()) return Fail(kExitInput, std::string(c.name) + ": the front document has no file");
    std::vector<std::string> words{c.name, file};
    bool afterSeparator = false;
    for (const std::string& a : args) {
        const bool assignment = c.name == std::string("set") && (afterSeparator || (a.find('=') != std::string::npos &&
                                                                                     a.compare(0, 1, "-") != 0));
        if (c.name == std::string("set") && a == "--" && !afterSeparator) {
            afterSeparator = true;
            continue;
        }
        if (assignment) {
            words.push_back("-s");
            words.push_back(a);
        } else {
            words.push_back(a);
        }
    }
    const bool named = std::any_of(args.begin(), args.end(), [](const std::string& a) {
        return a == "--story" || a == "--frame" || a == "--all-stories";
    });
    if (c.takesSelection && !named)
        for (const std::string& w : s.SelectionArguments())
            words.push_back(w);
    return RunDocumentCommand(words);
}

} // namespace

void AddShellDocumentCommands(ShellRegistry& r) {
    for (const DocumentCommand& c : kCommands)
        r.Add({c.name, c.usage, c.summary, [c](ShellSession& s, const ShellArgs& args, std::ostream&) {
                   return Run(c, s, args);
               }});
}
