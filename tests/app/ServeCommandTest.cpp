// `brindle serve` at the HTTP level: the built program serves a folder of sample documents
// on 127.0.0.1 (a free port), and the tests hold its security rules to account (the token,
// the origin, the Host header, the folders that may be opened, the body size, malformed
// requests) and walk a dialog and a question through the API as a page would.
#include "TestSupport.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// The program serving, started with the arguments and stopped (SIGTERM) when this goes away.
class Server {
public:
    explicit Server(const std::vector<std::string>& args) {
        int out[2];
        if (::pipe(out) != 0) return;
        fPid = ::fork();
        if (fPid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            std::string program = BRINDLE_BINARY;
            argv.push_back(program.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        // The first line names the address: "brindle: serving http://127.0.0.1:PORT/...".
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        std::smatch m;
        if (std::regex_search(line, m, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/(\\?token=([0-9a-f]+))?")))
            fPort = std::stoi(m[1]);
        fLine = line;
    }
    ~Server() {
        if (fPid > 0) {
            ::kill(fPid, SIGTERM);
            int status = 0;
            ::waitpid(fPid, &status, 0);
        }
    }
    int Port() const { return fPort; }
    const std::string& Line() const { return fLine; }
    httplib::Client Client() const {
        httplib::Client c("127.0.0.1", fPort);
        c.set_read_timeout(30, 0);
        return c;
    }
    // The token the page carries.
    std::string PageToken() const {
        auto r = Client().Get("/");
        std::smatch m;
        if (r && std::regex_search(r->body, m, std::regex("name=\"brindle-token\" content=\"([^\"]+)\"")))
            return m[1];
        return {};
    }

private:
    pid_t fPid = -1;
    int fPort = 0;
    std::string fLine;
};

class ServeCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = std::make_unique<TempDir>();
        std::string args = "--home " + Quote(sHome->path().string()) + " library import";
        for (const auto& e : fs::directory_iterator(SamplesLibrary()))
            if (e.path().extension() == ".xml") args += " " + Quote(e.path().string());
        std::string err;
        ASSERT_EQ(RunBrindle(args, nullptr, &err), 0) << err;
    }
    static void TearDownTestSuite() { sHome.reset(); }

    void SetUp() override {
        fs::create_directories(fRoot);
        fs::create_directories(fOutside);
        for (const char* f : {"Editorial-BlueSquare.jpg", "Plain-BlueSquare.jpg"})
            fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents" / f, fRoot / f);
        fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.jpg",
                      fOutside / "secret.jpg");
        fs::create_symlink(fOutside / "secret.jpg", fRoot / "link-out.jpg");
        fs::create_directory_symlink(fOutside, fRoot / "folder-out");
    }

    std::vector<std::string> Args(std::vector<std::string> more = {}) const {
        std::vector<std::string> a = {"--home", sHome->path().string(), "serve", "--listen", "127.0.0.1:0",
                                      "--root", fRoot.string()};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }

    static httplib::Result Post(const Server& s, const std::string& path, const json& body,
                                const std::string& token, httplib::Headers extra = {}) {
        httplib::Headers h = {{"X-Brindle-Token", token}};
        h.insert(extra.begin(), extra.end());
        return s.Client().Post(path.c_str(), h, body.dump(), "application/json");
    }

    static json State(const Server& s) {
        auto r = s.Client().Get("/api/state");
        return r && r->status == 200 ? json::parse(r->body) : json();
    }

    // The rows of the panel's state, or null.
    static json Rows(const json& state) {
        for (const json& w : state["state"]["panel"]["root"]["children"])
            if (w.value("name", "") == "rows") return w;
        return json();
    }
    // The row of the panel's state with the field's label, or null.
    static json Row(const json& state, const std::string& label) {
        for (const json& row : Rows(state).value("children", json::array()))
            if (row.value("label", "") == label) return row;
        return json();
    }
    // The row's child of the given name ("3", "3.change"), or null.
    static json Child(const json& row, const std::string& name) {
        for (const json& c : row.value("children", json::array()))
            if (c.value("name", "") == name) return c;
        return json();
    }
    static std::string RowNumber(const json& row) { return row.value("name", "rowX").substr(3); }

    // Has the panel show the package, as a person picks it in the drop-down.
    static void Choose(const Server& s, const std::string& token, const std::string& package) {
        auto r = Post(s, "/api/panel", {{"action", "choose"}, {"package", package}}, token);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200) << r->body;
    }
    // Waits until the page would be shown a dialog or question ("dialog", "question").
    static json WaitFor(const Server& s, const char* what) {
        for (int i = 0; i < 500; ++i) {
            json state = State(s);
            if (!state["pending"][what].is_null()) return state["pending"][what];
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return json();
    }

    static inline std::unique_ptr<TempDir> sHome;
    TempDir fDir;
    fs::path fRoot = fDir / "root";
    fs::path fOutside = fDir / "outside";
};

struct RequestCase {
    const char* what;
    const char* method; // GET, POST, PUT
    const char* path;
    std::string body;
    // Headers; "{token}" stands for the page's token.
    std::vector<std::pair<std::string, std::string>> headers;
    const char* contentType;
    int status;
};

TEST_F(ServeCommandTest, RequestsThatBreakARuleAreRefusedAndChangeNothing) {
    Server s(Args());
    ASSERT_GT(s.Port(), 0) << s.Line();
    const std::string token = s.PageToken();
    ASSERT_EQ(token.size(), 32u);
    const std::string own = "http://127.0.0.1:" + std::to_string(s.Port());
    const std::string doc = (fRoot / "Editorial-BlueSquare.jpg").string();
    const std::string open = json{{"path", doc}}.dump();
    const std::vector<RequestCase> cases = {
        {"no token", "POST", "/api/documents/open", open, {}, "application/json", 403},
        {"a wrong token",
         "POST",
         "/api/documents/open",
         open,
         {{"X-Brindle-Token", std::string(32, '0')}},
         "application/json",
         403},
        {"the token only as a cookie",
         "POST",
         "/api/documents/open",
         open,
         {{"Cookie", "brindle_token={token}"}},
         "application/json",
         403},
        {"another origin",
         "POST",
         "/api/documents/open",
         open,
         {{"X-Brindle-Token", "{token}"}, {"Origin", "http://evil.example"}},
         "application/json",
         403},
        {"a cross-site fetch",
         "POST",
         "/api/documents/open",
         open,
         {{"X-Brindle-Token", "{token}"}, {"Sec-Fetch-Site", "cross-site"}},
         "application/json",
         403},
        {"a form post",
         "POST",
         "/api/documents/open",
         open,
         {{"X-Brindle-Token", "{token}"}},
         "application/x-www-form-urlencoded",
         415},
        {"a name that points elsewhere",
         "GET",
         "/api/state",
         "",
         {{"Host", "evil.example:" + std::to_string(s.Port())}},
         nullptr,
         403},
        {"a method of no use",
         "PUT",
         "/api/save",
         "{}",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         405},
        {"malformed JSON",
         "POST",
         "/api/documents/open",
         "{\"path\": ",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         400},
        {"JSON that is no object",
         "POST",
         "/api/panel",
         "[1,2]",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         400},
        {"no path",
         "POST",
         "/api/documents/open",
         "{\"file\": 1}",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         400},
        {"a path of the wrong type",
         "POST",
         "/api/documents/open",
         "{\"path\": 12}",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         400},
        {"dot-dot out of the root",
         "POST",
         "/api/documents/open",
         json{{"path", (fRoot / ".." / "outside" / "secret.jpg").string()}}.dump(),
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         403},
        {"relative dot-dot",
         "POST",
         "/api/documents/open",
         json{{"path", "../outside/secret.jpg"}}.dump(),
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         403},
        {"a link to a file outside",
         "POST",
         "/api/documents/open",
         json{{"path", (fRoot / "link-out.jpg").string()}}.dump(),
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         403},
        {"a link to a folder outside",
         "POST",
         "/api/documents/open",
         json{{"path", (fRoot / "folder-out" / "secret.jpg").string()}}.dump(),
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         403},
        {"a system file",
         "POST",
         "/api/documents/open",
         json{{"path", "/etc/passwd"}}.dump(),
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         403},
        {"the root itself",
         "POST",
         "/api/documents/open",
         json{{"path", fRoot.string()}}.dump(),
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         403},
        {"no document open to save",
         "POST",
         "/api/save",
         "{}",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         409},
        {"a body over the limit",
         "POST",
         "/api/documents/open",
         "{\"path\": \"" + std::string(70 * 1024, 'a') + "\"}",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         413},
        {"a dialog answer with nothing open",
         "POST",
         "/api/dialog",
         "{\"serial\": 1, \"button\": \"OK\"}",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         409},
        {"a question answer of the wrong shape",
         "POST",
         "/api/question",
         "{\"serial\": 1, \"button\": \"Yes\"}",
         {{"X-Brindle-Token", "{token}"}},
         "application/json",
         400},
    };
    const std::string docBefore = ReadFile(fRoot / "Editorial-BlueSquare.jpg");
    const std::string secretBefore = ReadFile(fOutside / "secret.jpg");
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.what);
        httplib::Headers headers;
        for (auto [k, v] : c.headers) {
            const size_t at = v.find("{token}");
            if (at != std::string::npos) v.replace(at, 7, token);
            headers.emplace(k, v);
        }
        httplib::Client client = s.Client();
        httplib::Result r = std::string(c.method) == "GET" ? client.Get(c.path, headers)
                            : std::string(c.method) == "PUT"
                                ? client.Put(c.path, headers, c.body, c.contentType)
                                : client.Post(c.path, headers, c.body, c.contentType);
        ASSERT_TRUE(r) << httplib::to_string(r.error());
        EXPECT_EQ(r->status, c.status) << r->body;
    }
    const json state = State(s);
    EXPECT_TRUE(state["state"]["documents"].empty()) << state.dump();
    EXPECT_EQ(ReadFile(fRoot / "Editorial-BlueSquare.jpg"), docBefore);
    EXPECT_EQ(ReadFile(fOutside / "secret.jpg"), secretBefore);
    // The listing shows neither the links that lead out nor what lies behind them.
    auto files = s.Client().Get("/api/files");
    ASSERT_TRUE(files);
    EXPECT_EQ(files->body.find("secret"), std::string::npos) << files->body;
    EXPECT_EQ(files->body.find("link-out"), std::string::npos) << files->body;
}

TEST_F(ServeCommandTest, AMalformedEditChangesNothingAndAGoodOneIsOneUndoStep) {
    Server s(Args());
    ASSERT_GT(s.Port(), 0) << s.Line();
    const std::string token = s.PageToken();
    auto opened =
        Post(s, "/api/documents/open", {{"path", (fRoot / "Editorial-BlueSquare.jpg").string()}}, token);
    ASSERT_TRUE(opened);
    ASSERT_EQ(opened->status, 200) << opened->body;
    Choose(s, token, "Editorial");
    const json before = State(s);
    ASSERT_EQ(Child(Row(before, "Issue number"), "3")["text"], "14") << before.dump();
    const struct {
        json body;
        int status;
    } bad[] = {
        {{{"row", "Issue number"}, {"action", "type"}, {"value", "3"}}, 400},
        {{{"row", "Issue number"}, {"action", "set"}, {"value", 3}}, 400},
        {{{"row", "Issue number"}, {"action", "set"}}, 400},
        {{{"widget", "Issue number"}, {"action", "set"}, {"value", "3"}}, 400},
        {{{"row", json::array()}, {"action", "set"}, {"value", "3"}}, 400},
        {{{"action", "click"}}, 400},
        {{{"action", "choose"}, {"package", 7}}, 400},
        {{{"row", "No such field"}, {"action", "set"}, {"value", "3"}}, 422},
        {{{"row", "Story ID"}, {"action", "set"}, {"value", "x"}}, 422}, // read-only
        {{{"row", "Section"}, {"action", "set"}, {"value", "Not a section"}}, 422},
        {{{"widget", "no-such-button"}, {"action", "click"}}, 422},
        {{{"widget", "Keywords"}, {"action", "click"}}, 422},
        {{{"package", "No such package"}, {"action", "choose"}}, 422},
        {{{"mode", "everything"}, {"action", "mode"}}, 422},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.body.dump());
        auto r = Post(s, "/api/panel", b.body, token);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, b.status) << r->body;
    }
    EXPECT_EQ(State(s)["state"], before["state"]);
    // A value the field's type refuses is an alert for the page, and is not stored.
    auto alert = Post(s, "/api/panel", {{"row", "Issue number"}, {"action", "set"}, {"value", "twelve"}}, token);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->status, 200);
    EXPECT_EQ(json::parse(alert->body)["alerts"], json({"Please enter a whole number."})) << alert->body;
    EXPECT_EQ(State(s)["state"], before["state"]);

    auto set = Post(s, "/api/panel", {{"row", 3}, {"action", "set"}, {"value", "42"}}, token);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->status, 200) << set->body;
    json after = State(s);
    EXPECT_EQ(Child(Row(after, "Issue number"), "3")["text"], "42");
    EXPECT_TRUE(after["state"]["documents"][0]["modified"]);
    EXPECT_FALSE(after["state"]["undo"].is_null());
    auto undo = Post(s, "/api/undo", json::object(), token);
    ASSERT_TRUE(undo);
    EXPECT_EQ(undo->status, 200);
    // The panel reads the undone value back: its rows are as before the edit.
    const json undone = State(s);
    EXPECT_EQ(Child(Row(undone, "Issue number"), "3")["text"], "14");
    EXPECT_EQ(Rows(undone), Rows(before));
}

// The state the page draws is the plug-in's panel: the package drop-down and version, the
// buttons, and per field the control of its type with the row's extra buttons.
TEST_F(ServeCommandTest, ThePanelInTheStateIsThePlugInsOwn) {
    Server s(Args({(fRoot / "Editorial-BlueSquare.jpg").string()}));
    ASSERT_GT(s.Port(), 0) << s.Line();
    Choose(s, s.PageToken(), "Editorial");
    const json state = State(s);
    const json& panel = state["state"]["panel"];
    EXPECT_EQ(panel["package"], "Editorial");
    EXPECT_EQ(panel["applied"], true);
    std::map<std::string, json> top;
    for (const json& w : panel["root"]["children"])
        top[w.value("name", "")] = w;
    EXPECT_EQ(top["package"]["kind"], "drop-down");
    EXPECT_EQ(top["package"]["text"], "Editorial");
    EXPECT_EQ(top["version"]["text"], "v. 3");
    EXPECT_EQ(top["apply"]["kind"], "button");
    EXPECT_FALSE(top["conflict"]["shown"]);
    const struct {
        const char* label;
        const char* kind;
        const char* value; // the text shown, or "true"/"false" for a check box
        std::vector<std::string> buttons;
        int typeCode;
        bool enabled;
    } rows[] = {
        {"Headline", "edit", "Blue squares take over the city", {}, 0, true},
        {"Issue number", "edit", "14", {}, 1, true},
        {"Section", "drop-down", "Culture", {}, 3, true},
        {"Kicker", "editable drop-down", "Analysis", {}, 4, true},
        {"Publication date", "date", "2026/04/17", {}, 6, true},
        {"Abstract", "edit", "Why every test file is a blue square,\nand what that says about us.", {}, 8, true},
        {"Keywords", "text", "Politics, Economy", {"change"}, 9, true},
        {"Legal review", "check", "true", {}, 2, true},
        {"Story ID", "edit", "ED-2026-014-Cul", {"recompute"}, 10, false},
        {"Copy deadline", "colour", "Planned for: 2026/04/10\nExecuted on: \nExecuted by: ", {"sign", "deadline"}, 11,
         true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.label);
        const json row = Row(state, r.label);
        ASSERT_FALSE(row.is_null());
        const std::string n = RowNumber(row);
        const json value = Child(row, n);
        EXPECT_EQ(value["kind"], r.kind);
        EXPECT_EQ(value["enabled"], r.enabled);
        if (value["kind"] == "check")
            EXPECT_EQ(value["checked"], std::string(r.value) == "true");
        else
            EXPECT_EQ(value["text"], r.value);
        for (const std::string& b : r.buttons)
            EXPECT_EQ(Child(row, n + "." + b)["kind"], "button") << b;
        EXPECT_EQ(panel["rows"][std::to_string(row["id"].get<int>())]["typeCode"], r.typeCode);
    }
}

// The page's side of a dialog: it sees the dialog in the state, answers it by its serial,
// and the action that opened it finishes with the answer.
TEST_F(ServeCommandTest, ADialogAndAQuestionAreAnsweredByThePage) {
    Server s(Args({(fRoot / "Editorial-BlueSquare.jpg").string()}));
    ASSERT_GT(s.Port(), 0) << s.Line();
    const std::string token = s.PageToken();
    Choose(s, token, "Editorial");
    const std::string deadline = RowNumber(Row(State(s), "Copy deadline")) + ".deadline";

    int clicked = 0;
    std::string clickedBody;
    auto click = [&](const std::string& widget) {
        auto r = Post(s, "/api/panel", {{"widget", widget}, {"action", "click"}}, token);
        clicked = r ? r->status : -1;
        clickedBody = r ? r->body : std::string();
    };
    std::thread page([&] { click(deadline); });
    json dialog = WaitFor(s, "dialog");
    ASSERT_FALSE(dialog.is_null());
    EXPECT_EQ(dialog["name"], "deadline");
    // Another change waits until the dialog is answered.
    auto busy = Post(s, "/api/save", json::object(), token);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->status, 409);
    const uint64_t serial = dialog["serial"];
    auto wrong = Post(s, "/api/dialog", {{"serial", serial + 7}, {"button", "OK"}}, token);
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 409);
    auto answer = Post(s, "/api/dialog",
                       {{"serial", serial},
                        {"button", "OK"},
                        {"values", {{{"widget", "planned"}, {"value", "2031/05/06"}}}}},
                       token);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200) << answer->body;
    page.join();
    EXPECT_EQ(clicked, 200) << clickedBody;
    json state = State(s);
    EXPECT_TRUE(state["pending"]["dialog"].is_null());
    EXPECT_NE(state["state"]["panel"].dump().find("2031/05/06"), std::string::npos);

    // Reset asks first; No keeps the packages.
    std::thread reset([&] { click("reset"); });
    json question = WaitFor(s, "question");
    ASSERT_FALSE(question.is_null());
    ASSERT_EQ(question["buttons"], json({"Yes", "No"}));
    auto no = Post(s, "/api/question", {{"serial", question["serial"]}, {"button", 2}}, token);
    ASSERT_TRUE(no);
    EXPECT_EQ(no->status, 200);
    reset.join();
    EXPECT_EQ(State(s)["state"]["panel"]["package"], "Editorial");
    EXPECT_EQ(State(s)["state"]["panel"]["applied"], true);
}

// A password typed into a package's password dialog is never sent back out: not in the dialog
// shown again after a wrong one, not in the state any page or reader of the API gets.
TEST_F(ServeCommandTest, ATypedPasswordIsNeverSentToThePages) {
    Server s(Args({(fRoot / "Editorial-BlueSquare.jpg").string()}));
    ASSERT_GT(s.Port(), 0) << s.Line();
    const std::string token = s.PageToken();
    Choose(s, token, "Photo Rights");
    int status = 0;
    std::thread page([&] {
        auto r = Post(s, "/api/panel", {{"widget", "edit"}, {"action", "click"}}, token);
        status = r ? r->status : -1;
    });
    json dialog = WaitFor(s, "dialog");
    ASSERT_FALSE(dialog.is_null());
    EXPECT_EQ(dialog["name"], "enter-password");
    auto wrong = Post(s, "/api/dialog",
                      {{"serial", dialog["serial"]},
                       {"button", "OK"},
                       {"values", {{{"widget", "password"}, {"value", "guess-4711"}}}}},
                      token);
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 200);
    // The dialog comes back refused, with its alert, for another try.
    json again;
    for (int i = 0; i < 500 && (again.is_null() || again["serial"] == dialog["serial"]); ++i) {
        again = WaitFor(s, "dialog");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(again.is_null());
    EXPECT_TRUE(again["refused"]);
    EXPECT_FALSE(again["alerts"].empty());
    json box;
    for (const json& w : again["root"]["children"])
        if (w.value("name", "") == "password") box = w;
    EXPECT_EQ(box["secret"], true);
    EXPECT_EQ(box["text"], "");
    EXPECT_EQ(State(s).dump().find("guess-4711"), std::string::npos);
    auto cancel = Post(s, "/api/dialog", {{"serial", again["serial"]}, {"button", "Cancel"}}, token);
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->status, 200);
    page.join();
    EXPECT_EQ(status, 200);
}

// Closing a document whose required fields are empty asks in the page; confirming keeps it
// open, and only a forced close goes past it.
TEST_F(ServeCommandTest, AClosePastMissingRequiredFieldsNeedsForce) {
    Server s(Args({(fRoot / "Plain-BlueSquare.jpg").string()}));
    ASSERT_GT(s.Port(), 0) << s.Line();
    const std::string token = s.PageToken();
    Choose(s, token, "Editorial");
    auto applied = Post(s, "/api/panel", {{"widget", "apply"}, {"action", "click"}}, token);
    ASSERT_TRUE(applied);
    ASSERT_EQ(applied->status, 200) << applied->body;
    EXPECT_EQ(State(s)["state"]["panel"]["applied"], true);

    int refused = 0;
    std::string refusedBody;
    std::thread page([&] {
        auto r = Post(s, "/api/documents/close", {{"id", 1}}, token);
        refused = r ? r->status : -1;
        refusedBody = r ? r->body : std::string();
    });
    json dialog = WaitFor(s, "dialog");
    ASSERT_FALSE(dialog.is_null());
    EXPECT_EQ(dialog["name"], "required");
    EXPECT_NE(dialog.dump().find("Headline"), std::string::npos) << dialog.dump();
    auto ok = Post(s, "/api/dialog", {{"serial", dialog["serial"]}, {"button", "OK"}}, token);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200) << ok->body;
    page.join();
    EXPECT_EQ(refused, 409);
    EXPECT_NE(refusedBody.find("Headline"), std::string::npos) << refusedBody;
    EXPECT_EQ(State(s)["state"]["documents"].size(), 1u);
    auto forced = Post(s, "/api/documents/close", {{"id", 1}, {"force", true}}, token);
    ASSERT_TRUE(forced);
    EXPECT_EQ(forced->status, 200) << forced->body;
    EXPECT_TRUE(State(s)["state"]["documents"].empty());
}

// A Directory row's Choose... asks in the page among the served folders only; an answer
// naming any other folder changes nothing.
TEST_F(ServeCommandTest, TheFolderDialogOffersOnlyTheServedFolders) {
    fs::create_directories(fRoot / "photos" / "2026");
    fs::create_directories(fRoot / ".hidden");
    Server s(Args({(fRoot / "Plain-BlueSquare.jpg").string()}));
    ASSERT_GT(s.Port(), 0) << s.Line();
    const std::string token = s.PageToken();
    Choose(s, token, "Photo Rights");
    auto applied = Post(s, "/api/panel", {{"widget", "apply"}, {"action", "click"}}, token);
    ASSERT_TRUE(applied);
    ASSERT_EQ(applied->status, 200) << applied->body;
    const json row = Row(State(s), "Image folder");
    ASSERT_FALSE(row.is_null());
    const std::string n = RowNumber(row);
    const std::string root = fs::canonical(fRoot).string();
    const std::string before = Child(row, n)["text"];

    const struct {
        const char* what;
        std::string answer; // the folder picked; empty: cancelled
        std::string stored; // what the row shows afterwards
    } cases[] = {
        {"a folder outside", fs::canonical(fOutside).string(), before},
        {"the link that leads out", (fs::canonical(fRoot) / "folder-out").string(), before},
        {"cancelled", "", before},
        {"a folder under the root", (fs::canonical(fRoot) / "photos" / "2026").string(),
         (fs::canonical(fRoot) / "photos" / "2026").string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int status = 0;
        std::thread page([&] {
            auto r = Post(s, "/api/panel", {{"widget", n + ".folder"}, {"action", "click"}}, token);
            status = r ? r->status : -1;
        });
        const json dialog = WaitFor(s, "dialog");
        ASSERT_FALSE(dialog.is_null());
        EXPECT_EQ(dialog["name"], "folder");
        json offered;
        for (const json& w : dialog["root"]["children"])
            if (w.value("name", "") == "folder") offered = w["list"];
        EXPECT_NE(std::find(offered.begin(), offered.end(), root), offered.end()) << offered.dump();
        EXPECT_NE(std::find(offered.begin(), offered.end(), root + "/photos/2026"), offered.end()) << offered.dump();
        EXPECT_EQ(offered.dump().find("outside"), std::string::npos) << offered.dump();
        EXPECT_EQ(offered.dump().find("folder-out"), std::string::npos) << offered.dump();
        EXPECT_EQ(offered.dump().find(".hidden"), std::string::npos) << offered.dump();
        json answer = {{"serial", dialog["serial"]}, {"button", c.answer.empty() ? "Cancel" : "OK"}};
        if (!c.answer.empty()) answer["values"] = {{{"widget", "folder"}, {"value", c.answer}}};
        auto r = Post(s, "/api/dialog", answer, token);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << r->body;
        page.join();
        EXPECT_EQ(status, 200);
        EXPECT_EQ(Child(Row(State(s), "Image folder"), n)["text"], c.stored);
    }
}

TEST_F(ServeCommandTest, WithTheTokenAskedEverywhereEveryRequestCarriesIt) {
    Server s(Args({"--always-token", "--token", "0123456789abcdef0123456789abcdef"}));
    ASSERT_GT(s.Port(), 0) << s.Line();
    EXPECT_NE(s.Line().find("?token=0123456789abcdef0123456789abcdef"), std::string::npos) << s.Line();
    httplib::Client c = s.Client();
    auto none = c.Get("/api/state");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->status, 401);
    auto page = c.Get("/?token=0123456789abcdef0123456789abcdef");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->get_header_value("Set-Cookie").find("HttpOnly"), std::string::npos);
    const httplib::Headers cookie = {{"Cookie", "a=b; brindle_token=0123456789abcdef0123456789abcdef"}};
    const httplib::Headers header = {{"X-Brindle-Token", "0123456789abcdef0123456789abcdef"}};
    const httplib::Headers wrong = {{"Cookie", "brindle_token=0123456789abcdef0123456789abcdee"}};
    for (const auto& [headers, status] :
         {std::pair{cookie, 200}, std::pair{header, 200}, std::pair{wrong, 401}}) {
        auto state = c.Get("/api/state", headers);
        ASSERT_TRUE(state);
        EXPECT_EQ(state->status, status);
    }
    // A token too short to be safe is refused at start.
    std::string err;
    EXPECT_EQ(RunBrindle("--home " + Quote(sHome->path().string()) +
                             " serve --listen 127.0.0.1:0 --token short --root " + Quote(fRoot.string()),
                         nullptr, &err),
              1)
        << err;
}

} // namespace
