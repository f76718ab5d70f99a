#include "AppContext.h"

#include "BRNPlugIn.h"
#include "PanelCommands.h"
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/IDocumentList.h"
#include "formats/FileReplace.h"
#include "session/Host.h"
#include "subjects/ResponderRegistry.h"
#include "ui/CAlert.h"
#include "ui/DialogDriver.h"
#include "ui/HostDialogs.h"
#include "ui/ScriptDialogFace.h"
#include "ui/TerminalDialogFace.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <pwd.h>
#include <set>
#include <unistd.h>

namespace {
std::shared_ptr<IDialogFace> gSessionFace;
bool gShellSession = false;
// The documents the session held open when a command asked for them.
std::set<IDocument*> gHeld;
} // namespace

bool InShellSession() {
    return gShellSession;
}

void SetShellSession(bool running) {
    gShellSession = running;
    gHeld.clear();
}

namespace CommandDocuments {

IDocument* Open(const std::string& file, std::string* error) {
    IDocumentList* list = Host::GetDocumentList();
    const int32 before = list ? list->GetDocCount() : 0;
    IDocument* doc = Host::OpenDocument(IDFile(std::filesystem::path(file)), error);
    // The host hands back a document already open for its file without opening another.
    if (doc && gShellSession && list && list->GetDocCount() == before) gHeld.insert(doc);
    return doc;
}

bool Save(IDocument* doc, std::string* error) {
    if (gShellSession && gHeld.count(doc)) return true;
    return Host::SaveDocument(doc, error);
}

bool Close(IDocument* doc, UIFlags uiFlags) {
    if (gShellSession && gHeld.count(doc)) return false;
    // A document whose new file waits for its group's commit stays open, and locked, until then.
    FileReplace::Group* group = FileReplace::Group::Current();
    if (group && group->Waiting() > 0) {
        FileReplace::WhenDone([doc, uiFlags] { Host::CloseDocument(doc, uiFlags); });
        return true;
    }
    return Host::CloseDocument(doc, uiFlags);
}

void EndRequest() {
    gHeld.clear();
}

} // namespace CommandDocuments

std::shared_ptr<IDialogFace> SessionDialogFace() {
    return gSessionFace;
}

HostSessionScope::HostSessionScope(const GlobalOptions& o, bool readOnly) {
    if (gShellSession) {
        // The shell's host runs already, with its documents, answers and signals.
        fOK = Host::IsRunning();
        fNested = true;
        return;
    }
    HostConfig& cfg = HostConfig::Get();
    cfg.home = o.home;
    cfg.pluginDir = o.pluginDir;
    cfg.edition = o.edition == "text" ? HostConfig::Edition::kText : HostConfig::Edition::kLayout;
    cfg.userName = UserName(o.user);
    cfg.alias = o.alias;
    cfg.logLevel = o.logLevel;
    cfg.logFile = o.logFile;
    cfg.presentPlugins.clear();
    cfg.companion.clear();
    cfg.lockDocuments = !readOnly;
    if (!cfg.ReadFile(cfg.ConfigFile(), &fError)) {
        std::cerr << "brindle: error: " << fError << std::endl;
        return;
    }
    if (!o.companion.empty()) cfg.companion = o.companion;
    TerminalAlertSink::Fixed fixed = o.answer == "yes"  ? TerminalAlertSink::Fixed::kYes
                                     : o.answer == "no" ? TerminalAlertSink::Fixed::kNo
                                                        : TerminalAlertSink::Fixed::kNone;
    CAlert::SetSink(std::make_shared<TerminalAlertSink>(fixed));
    // The plug-in's message dialogs (the required-fields dialog) follow the same fixed answer:
    // yes confirms, no dismisses, and without one a terminal is asked.
    HostDialogs::SetMessageAnswer(o.answer == "yes"  ? HostDialogs::MessageAnswer::kOK
                                  : o.answer == "no" ? HostDialogs::MessageAnswer::kDismiss
                                                     : HostDialogs::MessageAnswer::kAsk);
    if (o.dialogAnswers.empty() && ::isatty(STDIN_FILENO)) {
        // Prompts go to standard error so that standard output keeps only the command's result.
        gSessionFace = std::make_shared<TerminalDialogFace>(std::cin, std::cerr);
    } else {
        auto face = std::make_shared<ScriptDialogFace>();
        for (const std::string& text : o.dialogAnswers) {
            std::vector<std::string> words;
            DialogAnswerScript answer;
            // Checked when the command line was read.
            if (ParseDialogAnswer(text, &words, nullptr) && ScriptDialogFace::Parse(words, &answer, nullptr))
                face->Queue(std::move(answer));
        }
        gSessionFace = face;
    }
    DialogDriver::SetFace(gSessionFace);
    fOK = Host::Start(GetPlugIn());
    if (fOK && readOnly) ResponderRegistry::SetSignalsEnabled(false);
}

HostSessionScope::~HostSessionScope() {
    if (fNested) return;
    // The panel follows the session's subjects: it goes before the session does.
    PanelCommands::Close();
    Host::Stop();
    DialogDriver::SetFace(nullptr);
    gSessionFace.reset();
}

bool ParseDialogAnswer(const std::string& text, std::vector<std::string>* words, std::string* error) {
    std::vector<std::string> out;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) out.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) {
        if (error) *error = "answer: a quote is not closed in \"" + text + "\"";
        return false;
    }
    if (inWord) out.push_back(std::move(word));
    DialogAnswerScript check;
    if (!ScriptDialogFace::Parse(out, &check, error)) return false;
    *words = std::move(out);
    return true;
}

std::string UTF8(const PMString& s) {
    return s.GetUTF8String();
}

int Fail(int code, const std::string& message) {
    std::cerr << "brindle: error: " << message << std::endl;
    return code;
}

namespace {
JSONLayout gLayout = JSONLayout::kObject;
bool gFirstMember = true;
} // namespace

void SetJSONLayout(JSONLayout layout) {
    gLayout = layout;
    gFirstMember = true;
}

JSONLayout GetJSONLayout() {
    return gLayout;
}

void PrintJSON(const nlohmann::json& j) {
    // Bytes that are not UTF-8 (in a file name, an argument, a folder) are replaced, never a
    // reason to fail after the work is done.
    const auto replace = nlohmann::json::error_handler_t::replace;
    switch (gLayout) {
    case JSONLayout::kLines:
        // Flushed: a reader of the stream sees each document as soon as it is done.
        std::cout << j.dump(-1, ' ', false, replace) << std::endl;
        break;
    case JSONLayout::kListMember:
        std::cout << (gFirstMember ? "" : ",\n") << j.dump(2, ' ', false, replace);
        gFirstMember = false;
        break;
    case JSONLayout::kObject:
        std::cout << j.dump(2, ' ', false, replace) << std::endl;
        break;
    }
}

void PrintDocumentText(const std::string& file, const std::string& text, const char* key, bool json, bool many) {
    if (json) {
        PrintJSON({{"file", file}, {key, text}});
    } else if (many) {
        // Neither XML text nor a packet holds a bare "<" on a line, so the header line cannot
        // be taken for part of a document.
        std::cout << "==> " << file << " <==\n" << text << (text.empty() || text.back() != '\n' ? "\n" : "");
    } else {
        std::cout << text;
    }
    std::cout << std::flush;
}

std::string UserName(const std::string& given) {
    if (!given.empty()) return given;
    const char* u = std::getenv("USER");
    if (u && *u) return u;
    // A cron job or a container often runs without $USER: the account still has a name.
    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name &&
        *found->pw_name)
        return found->pw_name;
    std::cerr << "brindle: warning: no user name is known (set $USER or --user); history entries "
                 "will name no user"
              << std::endl;
    return {};
}

std::vector<std::string> WithoutListedSidecars(const std::vector<std::string>& files) {
    auto key = [](const std::string& name) {
        std::error_code ec;
        std::filesystem::path p = std::filesystem::absolute(name, ec);
        return (ec ? std::filesystem::path(name) : p).lexically_normal().string();
    };
    std::set<std::string> named;
    for (const std::string& f : files)
        named.insert(key(f));
    std::vector<std::string> kept;
    for (const std::string& f : files) {
        const std::string k = key(f);
        const bool sidecar =
            k.size() > 4 && k.compare(k.size() - 4, 4, ".xmp") == 0 && named.count(k.substr(0, k.size() - 4));
        if (!sidecar) kept.push_back(f);
    }
    return kept;
}
