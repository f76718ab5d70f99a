// One host session driven line by line: `brindle shell`. The session keeps its documents
// open between requests; the front document (or the stories selected in it) is what the
// document commands work on. Handlers of shell commands (ShellRegistry.h) reach the session
// through this class.
#pragma once

#include "AppContext.h"
#include "ShellRegistry.h"

#include <istream>
#include <memory>
#include <string>
#include <vector>

class IDocument;
class ScriptDialogFace;

class ShellSession {
public:
    struct Settings {
        bool keepGoing = false;
        // Stop at the first failing request (a script); a person at a terminal goes on.
        bool stopOnFailure = true;
    };

    explicit ShellSession(const GlobalOptions& options);
    ~ShellSession();
    ShellSession(const ShellSession&) = delete;
    ShellSession& operator=(const ShellSession&) = delete;

    // Whether the host started.
    bool ok() const { return fOK; }

    // Runs one request line; its exit code (0 for an empty line or a comment).
    int RunLine(const std::string& line, std::ostream& out);
    // Runs the lines of a script: the exit code of the first failing request (the rest is not
    // run unless keepGoing), else 0.
    int RunScript(std::istream& in, std::ostream& out, const Settings& settings);
    // Reads requests from the terminal with line editing and history until quit or end of input.
    int RunTerminal(std::ostream& out);
    // Closes every document still open, without saving it (a warning names each one that
    // holds changes); the before-close signals fire.
    void CloseAll();

    // --- for the handlers ---------------------------------------------------------------
    const GlobalOptions& Options() const { return fOptions; }
    // The front document, or null (with "no document is open" reported) when none is.
    IDocument* Front(bool report = true) const;
    // The open document of the file name, or null (reported) when it is not open.
    IDocument* Find(const std::string& file, bool report = true) const;
    // The file the document is saved to; empty when it has none.
    static std::string FileOf(IDocument* doc);
    // The words that name the selection to a document command (--story ID / --frame ID),
    // empty when nothing of the front document is selected.
    std::vector<std::string> SelectionArguments() const;
    enum class SelectionKind { kNone, kStories, kFrames };
    // Selects stories or frames of the front document by their ids in the file; false (and
    // reported) when one is not there.
    bool Select(SelectionKind kind, const std::vector<std::string>& ids);
    void ClearSelection();
    // The face that answers dialogs from the answers queued with `answer`.
    ScriptDialogFace& ScriptFace();
    void RequestQuit() { fQuit = true; }
    // A request is over: the commands' hold on documents is dropped and the next edit makes
    // an undo step of its own.
    void EndRequest();

private:
    GlobalOptions fOptions;
    std::unique_ptr<HostSessionScope> fHost;
    bool fOK = false;
    bool fQuit = false;
    std::shared_ptr<ScriptDialogFace> fScriptFace;
    // The selection, of the document it was made in.
    IDocument* fSelectionDoc = nullptr;
    SelectionKind fSelectionKind = SelectionKind::kNone;
    std::vector<std::string> fSelectionIds;
    int fLineNumber = 0;
};
