// What every brindle command shares: the host started with the plug-in, output helpers
// and exit codes.
#pragma once

#include "base/PMString.h"
#include "documents/IDocFileHandler.h"
#include "objectmodel/UIDList.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

enum ExitCode : int {
    kExitOK = 0,
    kExitInput = 1,    // usage or input errors
    kExitIO = 2,       // the file system or a file failed us
    kExitRequired = 3, // a check found missing required fields
};

struct GlobalOptions {
    std::string home;
    std::string pluginDir;
    std::string edition = "layout";
    std::string user;
    std::string alias;
    std::string answer;
    // Script answers for dialogs, one attempt each: "DIALOG FIELD=VALUE... [--button B]".
    std::vector<std::string> dialogAnswers;
    int logLevel = 0;
    std::string logFile;
    std::string companion;
};

// The words of one --dialog-answer: split at blanks, with '...' and "..." keeping blanks in a
// value. False and the reason when a quote is not closed or the answer does not read.
bool ParseDialogAnswer(const std::string& text, std::vector<std::string>* words, std::string* error);

class IDialogFace;
// The face the session's dialogs use (set by HostSessionScope); a command that answers one
// dialog itself puts it back afterwards.
std::shared_ptr<IDialogFace> SessionDialogFace();

// Starts the host with the plug-in for the lifetime of the object. Dialogs are answered from
// --dialog-answer when given, else asked on a terminal, else cancelled.
class HostSessionScope {
public:
    // A read-only session opens and closes its documents without document signals, so that
    // what it shows is what the files store.
    explicit HostSessionScope(const GlobalOptions& options, bool readOnly = false);
    ~HostSessionScope();
    HostSessionScope(const HostSessionScope&) = delete;
    HostSessionScope& operator=(const HostSessionScope&) = delete;
    bool ok() const { return fOK; }
    // Why the host did not start (a faulty configuration file).
    const std::string& error() const { return fError; }

private:
    bool fOK = false;
    bool fNested = false; // inside a shell session: its host, left running
    std::string fError;
};

class IDocument;
// Whether a shell session runs in this process: the commands then work in its host, which
// HostSessionScope neither starts nor stops.
bool InShellSession();
void SetShellSession(bool running);

// The documents a command works on. A one-shot command opens the file, and saves and closes
// it when done. In a shell session a document the session already holds open is the one
// worked on, and it stays open and unsaved (the session's own save and close are for that);
// a file the command opened itself is saved and closed as in a one-shot command.
namespace CommandDocuments {
IDocument* Open(const std::string& file, std::string* error);
bool Save(IDocument* doc, std::string* error);
bool Close(IDocument* doc, UIFlags uiFlags = kFullUI);
// The session's documents handed to the commands so far are forgotten (after each request).
void EndRequest();
} // namespace CommandDocuments

// What became of one document of a run, for the run's summary and exit code.
enum class DocumentOutcome {
    kRead,      // read (or checked) and reported
    kUpdated,   // written
    kUnchanged, // nothing to write
    kMissing,   // required fields missing
    kFailed,    // could not be read, refused or not written
};

struct DocumentResult {
    int code = kExitOK;
    DocumentOutcome outcome = DocumentOutcome::kRead;
};

// How PrintJSON lays out the objects of a run: one indented object (one document), one line
// each (--jsonl), or the indented members of one "documents" list the runner opens and closes.
enum class JSONLayout { kObject, kLines, kListMember };
void SetJSONLayout(JSONLayout layout);
JSONLayout GetJSONLayout();

std::string UTF8(const PMString& s);
// Prints "brindle: error: <text>" to standard error and returns the code.
int Fail(int code, const std::string& message);
void PrintJSON(const nlohmann::json& j);
// The user name of history entries: --user, else $USER, else the account's name; empty
// (with a warning) only when none is known.
std::string UserName(const std::string& given);
// The document names without any "<file>.xmp" whose file is named too: a document and its
// sidecar are one document.
std::vector<std::string> WithoutListedSidecars(const std::vector<std::string>& files);

// One document's text output (xml, dump-xmp). Alone it is printed as it is; with several
// documents (or folders or a list given) each one's text follows a line "==> FILE <==" and
// ends with a line break; with --json (or --jsonl) it is the member `key` of an object that
// names the file.
void PrintDocumentText(const std::string& file, const std::string& text, const char* key, bool json, bool many);

// Stories named on the command line: --story ID (the story's Self) and --frame ID (a text
// frame, for the story it shows), each repeatable.
struct StoryOptions {
    std::vector<std::string> stories;
    std::vector<std::string> frames;
    bool allStories = false;
    bool Any() const { return !stories.empty() || !frames.empty() || allStories; }
};
void AddStoryOptions(CLI::App* command, StoryOptions& o, bool allStories = false);
class IDocument;
// The stories the options name in the document, each once, in the order named (all of them
// with --all-stories). False, with the reason, when one is not in the document.
bool ResolveStories(IDocument* doc, const StoryOptions& o, UIDList* stories, std::string* error);

// Each group adds its subcommands; the callback it stores runs the command and sets the exit code.
void AddLibraryCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddSettingsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddFieldCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddDocumentCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddServiceCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
// The words after "--" of a set command line: its NAME=VALUE assignments.
void SetAssignmentsAfterSeparator(std::vector<std::string> assignments);
void AddPackageCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddStoryCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddServeCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
// brindle shell: one host session driven by a terminal or a script (ShellSession.cpp).
void AddShellCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
// Runs one of the commands that work on documents ("set FILE -s A=1", words as on the command
// line after the program's name) in the running host, as the shell does; its exit code.
int RunDocumentCommand(const std::vector<std::string>& words);
// The names and aliases of the commands each group of commands adds: as the command line knows
// them before it builds a group, or (asAdded) as the group's commands answer to once added.
std::vector<std::vector<std::string>> CommandNamesByGroup(bool asAdded);
