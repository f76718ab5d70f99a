// brindle shell: the session, its line reader and the commands that work on the session itself.
#include "ShellSession.h"

#include "LineEditor.h"

#include "base/HostConfig.h"
#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/HostSelection.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "objectmodel/InterfacePtr.h"
#include "session/ICVLogger.h"
#include "session/ISession.h"
#include "session/PlugInModule.h"
#include "ui/CAlert.h"
#include "ui/DialogDriver.h"
#include "ui/HostDialogs.h"
#include "ui/ScriptDialogFace.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool SameFile(const fs::path& a, const fs::path& b) {
    if (a == b) return true;
    std::error_code ec;
    if (fs::equivalent(a, b, ec) && !ec) return true;
    // A document not saved yet has no file on disk: its names are compared.
    return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

std::vector<IDocument*> OpenDocuments() {
    std::vector<IDocument*> docs;
    if (IDocumentList* list = Host::GetDocumentList())
        for (int32 i = 0; i < list->GetDocCount(); ++i)
            docs.push_back(list->GetNthDoc(i));
    return docs;
}

// The one optional FILE of save and close, and the flags the command allows.
bool FileAndFlags(const ShellArgs& args, const std::vector<std::string>& allowed, std::string* file,
                  std::vector<std::string>* flags, const char* command) {
    for (const std::string& a : args) {
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            if (std::find(allowed.begin(), allowed.end(), a) == allowed.end()) {
                Fail(kExitInput, std::string(command) + ": unknown option " + a);
                return false;
            }
            flags->push_back(a);
        } else if (file->empty()) {
            *file = a;
        } else {
            Fail(kExitInput, std::string(command) + ": one document at a time");
            return false;
        }
    }
    return true;
}

bool Has(const std::vector<std::string>& flags, const char* flag) {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

// A step's name as the user reads it.
std::string StepName(PMString name) {
    name.Translate();
    return UTF8(name);
}

IDocument* Target(ShellSession& s, const std::string& file) {
    return file.empty() ? s.Front() : s.Find(file);
}

int NoArguments(const ShellArgs& args, const char* command) {
    return args.empty() ? kExitOK : Fail(kExitInput, std::string(command) + " takes no arguments");
}

// Tab completion at the terminal: the request's name, then the words a request takes first
// (story, assignment and panel sub-requests), then file names (null).
const std::vector<std::string>* CompletionWords(const std::string& before) {
    static std::vector<std::string> names;
    static const std::map<std::string, std::vector<std::string>> kFirstWords = {
        {"story", {"list", "checkout", "checkin", "cancel-checkout", "update", "relink"}},
        {"assignment", {"list", "user", "add", "remove", "update"}},
        {"panel", {"set", "click", "choose", "mode"}},
        {"select", {"story", "frame", "none"}},
        {"answer", {"yes", "no", "ask"}},
    };
    if (names.empty())
        for (const ShellCommand& c : ShellRegistry::Get().All())
            names.push_back(c.name);
    std::vector<std::string> words;
    SplitShellWords(before, &words, nullptr);
    if (words.empty()) return &names;
    if (auto it = kFirstWords.find(words[0]); it != kFirstWords.end() && words.size() == 1) return &it->second;
    return nullptr;
}

fs::path HistoryFile() {
    return HostConfig::Get().RoamingDataRoot() / "brindle" / "shell_history";
}

} // namespace

// ---------------------------------------------------------------------------------------------

ShellSession::ShellSession(const GlobalOptions& options) : fOptions(options) {
    fHost = std::make_unique<HostSessionScope>(fOptions);
    fOK = fHost->ok();
    if (fOK) SetShellSession(true);
}

ShellSession::~ShellSession() {
    if (fOK) CloseAll();
    SetShellSession(false);
    fHost.reset();
}

IDocument* ShellSession::Front(bool report) const {
    IDocument* doc = Host::GetFrontDocument();
    if (!doc && report) Fail(kExitInput, "no document is open (open FILE first)");
    return doc;
}

IDocument* ShellSession::Find(const std::string& file, bool report) const {
    for (IDocument* doc : OpenDocuments()) {
        IDFile f;
        if (doc->GetDocFile(&f) && SameFile(f.Path(), fs::path(file))) return doc;
    }
    if (report) Fail(kExitInput, file + ": not open");
    return nullptr;
}

std::string ShellSession::FileOf(IDocument* doc) {
    IDFile f;
    return doc && doc->GetDocFile(&f) ? f.Path().string() : std::string();
}

std::vector<std::string> ShellSession::SelectionArguments() const {
    std::vector<std::string> words;
    if (fSelectionKind == SelectionKind::kNone || fSelectionDoc != Front(false)) return words;
    const char* option = fSelectionKind == SelectionKind::kStories ? "--story" : "--frame";
    for (const std::string& id : fSelectionIds) {
        words.push_back(option);
        words.push_back(id);
    }
    return words;
}

bool ShellSession::Select(SelectionKind kind, const std::vector<std::string>& ids) {
    IDocument* doc = Front();
    if (!doc) return false;
    IDataBase* db = doc->GetDocumentDataBase();
    UIDList items(db);
    for (const std::string& id : ids) {
        const UID uid =
            kind == SelectionKind::kStories ? Host::FindFileStory(doc, id) : Host::FindFileFrame(doc, id);
        if (uid == kInvalidUID) {
            Fail(kExitInput, std::string("no ") + (kind == SelectionKind::kStories ? "story" : "text frame") +
                                 " \"" + id + "\" in " + FileOf(doc));
            return false;
        }
        items.Append(uid);
    }
    // The host's selection follows, so that what asks the selection (the panel, the suites)
    // sees the same stories.
    if (kind == SelectionKind::kStories) {
        Host::ClearSelection();
        Host::SetSelectedStories(items);
    } else {
        Host::SelectPageItems(items);
    }
    fSelectionDoc = doc;
    fSelectionKind = kind;
    fSelectionIds = ids;
    return true;
}

void ShellSession::ClearSelection() {
    Host::ClearSelection();
    Host::SetSelectedStories(UIDList());
    fSelectionDoc = nullptr;
    fSelectionKind = SelectionKind::kNone;
    fSelectionIds.clear();
}

ScriptDialogFace& ShellSession::ScriptFace() {
    if (!fScriptFace) {
        fScriptFace = std::dynamic_pointer_cast<ScriptDialogFace>(SessionDialogFace());
        if (!fScriptFace) fScriptFace = std::make_shared<ScriptDialogFace>();
    }
    // Answers queued in the shell are taken before anyone is asked.
    DialogDriver::SetFace(fScriptFace);
    return *fScriptFace;
}

void ShellSession::EndRequest() {
    CommandDocuments::EndRequest();
    for (IDocument* doc : OpenDocuments())
        CmdUtils::EndUndoStep(doc);
    // A selection in a document that closed is gone.
    if (fSelectionDoc) {
        const auto docs = OpenDocuments();
        if (std::find(docs.begin(), docs.end(), fSelectionDoc) == docs.end()) {
            fSelectionDoc = nullptr;
            fSelectionKind = SelectionKind::kNone;
            fSelectionIds.clear();
        }
    }
}

int ShellSession::RunLine(const std::string& line, std::ostream& out) {
    ++fLineNumber;
    std::vector<std::string> words;
    std::string error;
    if (!SplitShellWords(line, &words, &error)) return Fail(kExitInput, "line " + std::to_string(fLineNumber) + ": " + error);
    if (words.empty()) return kExitOK;
    const ShellCommand* command = ShellRegistry::Get().Find(words[0]);
    if (!command) return Fail(kExitInput, "unknown command \"" + words[0] + "\" (help lists the commands)");
    const ShellArgs args(words.begin() + 1, words.end());
    const int code = command->run(*this, args, out);
    out << std::flush;
    EndRequest();
    return code;
}

int ShellSession::RunScript(std::istream& in, std::ostream& out, const Settings& settings) {
    int first = kExitOK;
    std::string line;
    while (!fQuit && std::getline(in, line)) {
        const int code = RunLine(line, out);
        if (code == kExitOK) continue;
        if (first == kExitOK) first = code;
        if (settings.stopOnFailure && !settings.keepGoing) {
            std::cerr << "brindle: shell: line " << fLineNumber << " failed (exit " << code
                      << "); the script stops here" << std::endl;
            break;
        }
    }
    return first;
}

int ShellSession::RunTerminal(std::ostream& out) {
    std::string error;
    const auto edit = reinterpret_cast<EditLinesFn>(
        Host::LoadModuleEntry("brindle-lineedit.so", "BrindleEditLines", "line editor", &error));
    if (!edit) {
        std::cerr << "brindle: error: " << error << std::endl;
        return kExitIO;
    }
    LineEditing editing;
    editing.history = HistoryFile();
    std::error_code ec;
    fs::create_directories(editing.history.parent_path(), ec);
    editing.prompt = [this] {
        IDocument* front = Front(false);
        return "brindle" + (front ? " " + fs::path(FileOf(front)).filename().string() : std::string()) + "> ";
    };
    editing.words = CompletionWords;
    int last = kExitOK;
    editing.run = [&](const std::string& line) {
        last = RunLine(line, out);
        return !fQuit;
    };
    if (edit(&editing)) out << "\n";
    return last;
}

void ShellSession::CloseAll() {
    for (IDocument* doc : OpenDocuments()) {
        if (doc->IsModified())
            std::cerr << "brindle: warning: " << (FileOf(doc).empty() ? UTF8(doc->GetName()) : FileOf(doc))
                      << " was closed without saving its changes" << std::endl;
        // Nobody is there to fill in required fields now: the close is not cancelled.
        Host::CloseDocument(doc, kSuppressUI, false);
    }
}

// ---------------------------------------------------------------------------------------------

void AddShellSessionCommands(ShellRegistry& r) {
    r.Add({"open", "open FILE...", "Open documents; the last one comes to the front",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (args.empty()) return Fail(kExitInput, "open: name the documents");
               for (const std::string& file : args) {
                   std::string error;
                   IDocument* doc = Host::OpenDocument(IDFile(fs::path(file)), &error);
                   if (!doc) return Fail(kExitIO, file + ": " + error);
                   Host::SetFrontDocument(doc);
                   out << "opened " << file << "\n";
               }
               return int(kExitOK);
           }});
    r.Add({"new", "new FILE", "A new document, not saved yet, that save writes to FILE",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (args.size() != 1) return Fail(kExitInput, "new: name the one file it will be saved to");
               std::error_code ec;
               if (fs::exists(args[0], ec)) return Fail(kExitInput, args[0] + ": exists already (open it)");
               if (s.Find(args[0], false)) return Fail(kExitInput, args[0] + ": open already");
               IDocument* doc = Host::NewDocument(IDFile(fs::path(args[0])));
               if (!doc) return Fail(kExitIO, args[0] + ": the document could not be made");
               Host::SetFrontDocument(doc);
               out << "new " << args[0] << "\n";
               return int(kExitOK);
           }});
    r.Add({"front", "front FILE", "Bring an open document to the front",
           [](ShellSession& s, const ShellArgs& args, std::ostream&) {
               if (args.size() != 1) return Fail(kExitInput, "front: name one open document");
               IDocument* doc = s.Find(args[0]);
               if (!doc) return int(kExitInput);
               Host::SetFrontDocument(doc);
               return int(kExitOK);
           }});
    r.Add({"documents", "documents", "The open documents; * marks the front one",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (int rc = NoArguments(args, "documents")) return rc;
               IDocument* front = s.Front(false);
               for (IDocument* doc : OpenDocuments()) {
                   const std::string file = ShellSession::FileOf(doc);
                   std::error_code ec;
                   const bool saved = !file.empty() && fs::exists(file, ec);
                   out << (doc == front ? "* " : "  ") << (file.empty() ? UTF8(doc->GetName()) : file)
                       << (doc->IsModified() ? " (modified)" : "") << (saved ? "" : " (not saved yet)")
                       << "\n";
               }
               return int(kExitOK);
           }});
    r.Add({"save", "save [FILE]", "Save the front document, or the open document FILE",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               std::string file;
               std::vector<std::string> flags;
               if (!FileAndFlags(args, {}, &file, &flags, "save")) return int(kExitInput);
               IDocument* doc = Target(s, file);
               if (!doc) return int(kExitInput);
               std::string error;
               if (!Host::SaveDocument(doc, &error)) return Fail(kExitIO, ShellSession::FileOf(doc) + ": " + error);
               out << "saved " << ShellSession::FileOf(doc) << "\n";
               return int(kExitOK);
           }});
    r.Add({"save-as", "save-as FILE", "Save the front document to another file, which it goes on with",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (args.size() != 1) return Fail(kExitInput, "save-as: name the one file to save to");
               IDocument* doc = s.Front();
               if (!doc) return int(kExitInput);
               IDocument* other = s.Find(args[0], false);
               if (other && other != doc) return Fail(kExitInput, args[0] + ": another open document's file");
               std::string error;
               if (!Host::SaveDocumentAs(doc, IDFile(fs::path(args[0])), &error))
                   return Fail(kExitIO, args[0] + ": " + error);
               out << "saved " << ShellSession::FileOf(doc) << "\n";
               return int(kExitOK);
           }});
    r.Add({"close", "close [FILE] [--no-cancel]",
           "Close without saving; missing required fields stop the close (exit 3) unless --no-cancel",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               std::string file;
               std::vector<std::string> flags;
               if (!FileAndFlags(args, {"--no-cancel"}, &file, &flags, "close")) return int(kExitInput);
               IDocument* doc = Target(s, file);
               if (!doc) return int(kExitInput);
               const std::string name = ShellSession::FileOf(doc).empty() ? UTF8(doc->GetName())
                                                                          : ShellSession::FileOf(doc);
               if (!Host::CloseDocument(doc, kFullUI, !Has(flags, "--no-cancel")))
                   return Fail(kExitRequired, name + ": not closed: required fields are missing (fill them in, or "
                                                     "close --no-cancel)");
               out << "closed " << name << "\n";
               return int(kExitOK);
           }});
    r.Add({"revert", "revert", "Read the front document's metadata from its file again; its undo steps go",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (int rc = NoArguments(args, "revert")) return rc;
               IDocument* doc = s.Front();
               if (!doc) return int(kExitInput);
               std::string error;
               if (!Host::RevertDocument(doc, &error))
                   return Fail(kExitIO, ShellSession::FileOf(doc) + ": " + error);
               out << "reverted " << ShellSession::FileOf(doc) << "\n";
               return int(kExitOK);
           }});
    r.Add({"undo", "undo", "Undo the front document's last step",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (int rc = NoArguments(args, "undo")) return rc;
               IDocument* doc = s.Front();
               if (!doc) return int(kExitInput);
               const PMString name = CmdUtils::GetUndoName(doc);
               if (!CmdUtils::Undo(doc)) return Fail(kExitInput, "nothing to undo");
               out << "undone: " << StepName(name) << "\n";
               return int(kExitOK);
           }});
    r.Add({"redo", "redo", "Redo the front document's step undone last",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (int rc = NoArguments(args, "redo")) return rc;
               IDocument* doc = s.Front();
               if (!doc) return int(kExitInput);
               const PMString name = CmdUtils::GetRedoName(doc);
               if (!CmdUtils::Redo(doc)) return Fail(kExitInput, "nothing to redo");
               out << "redone: " << StepName(name) << "\n";
               return int(kExitOK);
           }});
    r.Add({"history", "history", "The front document's undo steps (the next to undo last), then its redo steps",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (int rc = NoArguments(args, "history")) return rc;
               IDocument* doc = s.Front();
               if (!doc) return int(kExitInput);
               int n = 0;
               for (const PMString& name : CmdUtils::GetUndoNames(doc))
                   out << "undo " << ++n << ": " << StepName(name) << "\n";
               const std::vector<PMString> redo = CmdUtils::GetRedoNames(doc);
               n = 0;
               for (auto it = redo.rbegin(); it != redo.rend(); ++it)
                   out << "redo " << ++n << ": " << StepName(*it) << "\n";
               return int(kExitOK);
           }});
    r.Add({"select", "select story ID... | frame ID... | none",
           "Select stories or text frames of the front document; document commands then work on them",
           [](ShellSession& s, const ShellArgs& args, std::ostream& out) {
               if (args.size() == 1 && args[0] == "none") {
                   s.ClearSelection();
                   out << "selected: none\n";
                   return int(kExitOK);
               }
               if (args.size() < 2 || (args[0] != "story" && args[0] != "frame"))
                   return Fail(kExitInput, "select: story ID..., frame ID... or none");
               const std::vector<std::string> ids(args.begin() + 1, args.end());
               if (!s.Select(args[0] == "story" ? ShellSession::SelectionKind::kStories
                                                : ShellSession::SelectionKind::kFrames,
                             ids))
                   return int(kExitInput);
               out << "selected: " << args[0];
               for (const std::string& id : ids)
                   out << " " << id;
               out << "\n";
               return int(kExitOK);
           }});
    r.Add({"answer", "answer yes|no|ask | DIALOG FIELD=VALUE... [--button B]",
           "How alerts are answered from now on, or one answer queued for the next dialog",
           [](ShellSession& s, const ShellArgs& args, std::ostream&) {
               if (args.size() == 1 && (args[0] == "yes" || args[0] == "no" || args[0] == "ask")) {
                   const auto fixed = args[0] == "yes"  ? TerminalAlertSink::Fixed::kYes
                                      : args[0] == "no" ? TerminalAlertSink::Fixed::kNo
                                                        : TerminalAlertSink::Fixed::kNone;
                   CAlert::SetSink(std::make_shared<TerminalAlertSink>(fixed));
                   HostDialogs::SetMessageAnswer(args[0] == "yes"  ? HostDialogs::MessageAnswer::kOK
                                                 : args[0] == "no" ? HostDialogs::MessageAnswer::kDismiss
                                                                   : HostDialogs::MessageAnswer::kAsk);
                   return int(kExitOK);
               }
               DialogAnswerScript answer;
               std::string error;
               if (!ScriptDialogFace::Parse(args, &answer, &error)) return Fail(kExitInput, "answer: " + error);
               s.ScriptFace().Queue(std::move(answer));
               return int(kExitOK);
           }});
    r.Add({"log", "log [off | level N] [file PATH|-]",
           "The maker's logging component: its status, or switch it (off, a level) and send its lines to "
           "a file (- for standard error); the plug-in and its panel are told of the change",
           [](ShellSession&, const ShellArgs& args, std::ostream& out) {
               ISession* session = GetExecutionContextSession();
               InterfacePtr<IPMUnknown> components(session ? session->QueryOutsideComponents() : nullptr);
               InterfacePtr<ICVLogger> logger(components, IID_ICVLOGGER);
               if (!logger) return Fail(kExitIO, "log: the logging component is not installed");
               int32 level = logger->GetLogLevel("");
               std::string file = logger->GetLogFile();
               for (size_t i = 0; i < args.size(); ++i) {
                   if (args[i] == "off") {
                       level = 0;
                   } else if (args[i] == "level" && i + 1 < args.size()) {
                       const std::string& n = args[++i];
                       if (n.empty() || n.size() > 5 ||
                           n.find_first_not_of("0123456789") != std::string::npos)
                           return Fail(kExitInput,
                                       "log: the level is a whole number from 0 to 65535, not " + n);
                       level = std::stoi(n);
                       if (level > 65535)
                           return Fail(kExitInput,
                                       "log: the level is a whole number from 0 to 65535, not " + n);
                   } else if (args[i] == "file" && i + 1 < args.size()) {
                       file = args[++i] == "-" ? std::string() : args[i];
                   } else {
                       return Fail(kExitInput, "log [off | level N] [file PATH|-]");
                   }
               }
               logger->SetStatus(level, file);
               out << "log: " << (level <= 0 ? std::string("off") : "level " + std::to_string(level))
                   << ", to " << (file.empty() ? std::string("standard error") : file) << "\n";
               return int(kExitOK);
           }});
    r.Add({"help", "help", "The shell's commands",
           [](ShellSession&, const ShellArgs&, std::ostream& out) {
               size_t width = 0;
               for (const ShellCommand& c : ShellRegistry::Get().All())
                   width = std::max(width, c.usage.size());
               for (const ShellCommand& c : ShellRegistry::Get().All())
                   out << "  " << c.usage << std::string(width + 2 - c.usage.size(), ' ') << c.summary << "\n";
               return int(kExitOK);
           }});
    r.Add({"quit", "quit", "End the session; documents still open are closed without saving",
           [](ShellSession& s, const ShellArgs& args, std::ostream&) {
               if (int rc = NoArguments(args, "quit")) return rc;
               s.RequestQuit();
               return int(kExitOK);
           }});
}

void AddShellCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    struct Options {
        std::vector<std::string> files;
        std::string script;
        bool keepGoing = false;
    };
    auto o = std::make_shared<Options>();
    auto* shell = app.add_subcommand(
        "shell", "One session of many requests: commands from a terminal (line editing, history), from "
                 "standard input or from --script, documents kept open between them (help lists them)");
    shell->add_option("FILE", o->files, "Documents to open first");
    shell->add_option("--script", o->script, "Read the commands from this file");
    shell->add_flag("--keep-going", o->keepGoing,
                    "Run a script to its end after a failing command (the exit code is the first failure's)");
    shell->callback([&options, &exitCode, o]() {
        std::ifstream scriptFile;
        if (!o->script.empty()) {
            scriptFile.open(o->script);
            if (!scriptFile) {
                exitCode = Fail(kExitIO, o->script + ": cannot be read");
                return;
            }
        }
        ShellSession session(options);
        if (!session.ok()) {
            exitCode = Fail(kExitIO, "the plug-in could not be started");
            return;
        }
        if (!o->files.empty()) {
            const int rc = ShellRegistry::Get().Find("open")->run(session, o->files, std::cout);
            session.EndRequest();
            if (rc != kExitOK) {
                exitCode = rc;
                return;
            }
        }
        ShellSession::Settings settings;
        settings.keepGoing = o->keepGoing;
        if (!o->script.empty())
            exitCode = session.RunScript(scriptFile, std::cout, settings);
        else if (::isatty(STDIN_FILENO))
            exitCode = session.RunTerminal(std::cout);
        else
            exitCode = session.RunScript(std::cin, std::cout, settings);
    });
}
