// What `brindle serve` does with its host session: the documents under the roots (listed,
// opened, closed, brought to front, saved), the stories and their selection, undo and redo,
// and the plug-in's metadata panel. Every call runs on the session thread; each answers with an HTTP status
// and a JSON body, so the server only moves requests and answers.
#pragma once

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class BrowserFace;
class IDocument;

class WebSession {
public:
    struct Reply {
        int status = 200;
        nlohmann::json body = nlohmann::json::object();
    };

    // roots: the folders whose files may be opened (made canonical here; those that are no
    // folder are dropped).
    WebSession(const std::vector<std::filesystem::path>& roots, BrowserFace& face);
    ~WebSession();

    const std::vector<std::filesystem::path>& Roots() const { return fRoots; }
    // The file's real path when it is a regular file inside a root (after every link and
    // ".." is resolved); false otherwise.
    bool Resolve(const std::string& given, std::filesystem::path* real) const;

    // The whole state the page shows: open documents, front document, its stories and
    // selection, undo and redo, the panel.
    nlohmann::json State();
    // The files under the roots (sidecars of files listed and hidden files left out).
    nlohmann::json Files() const;

    // action: "open", "close", "front", "save", "undo", "redo", "select", "panel".
    // The panel is the plug-in's own: "panel" takes {"action": "set", "row", "value"},
    // {"action": "click", "widget"}, {"action": "choose", "package"} or {"action": "mode",
    // "mode"}, each done as the shell's `panel set/click/choose/mode` does it.
    // The body was parsed by the server; its members are checked here. Nothing changes when
    // the answer is not 2xx.
    Reply Handle(const std::string& action, const nlohmann::json& body);

    // Opens the plug-in's panel (once the host runs); false when the plug-in cannot make it.
    bool OpenPanel();
    // Closes every document without saving and the panel (the server stops).
    void CloseAll();

private:
    IDocument* Find(const nlohmann::json& body, Reply* error, bool frontByDefault);
    int IdOf(IDocument* doc);
    Reply Open(const nlohmann::json& body);
    Reply Close(const nlohmann::json& body);
    Reply Front(const nlohmann::json& body);
    Reply Save(const nlohmann::json& body);
    Reply UndoRedo(bool undo);
    Reply Select(const nlohmann::json& body);
    Reply Panel(const nlohmann::json& body);
    nlohmann::json PanelState() const;
    // The served folders and those under them in a dialog of the pages; false when cancelled.
    bool ChooseFolder(std::filesystem::path* chosen);

    std::vector<std::filesystem::path> fRoots;
    BrowserFace& fFace;
    std::map<int, IDocument*> fDocuments;
    int fNextID = 1;
};
