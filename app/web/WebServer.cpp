#include "WebServer.h"

#include "BrowserFace.h"
#include "SessionThread.h"
#include "WebPage.h"
#include "WebSession.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace {
using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

// Every open page holds one connection for its events, and a browser opens a few more per
// page; the thread pool leaves room for a team.
constexpr size_t kServerThreads = 64;
constexpr auto kKeepAliveComment = std::chrono::seconds(15);

// Compares without stopping at the first difference, so timing tells nothing of the token.
bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string CookieValue(const std::string& cookies, const std::string& name) {
    size_t pos = 0;
    while (pos < cookies.size()) {
        size_t end = cookies.find(';', pos);
        if (end == std::string::npos) end = cookies.size();
        std::string part = cookies.substr(pos, end - pos);
        const size_t start = part.find_first_not_of(' ');
        if (start != std::string::npos) part = part.substr(start);
        if (part.compare(0, name.size() + 1, name + "=") == 0) return part.substr(name.size() + 1);
        pos = end + 1;
    }
    return {};
}

void Send(Response& res, int status, const nlohmann::json& body) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void Refuse(Response& res, int status, const std::string& why) {
    Send(res, status, {{"error", why}});
}
} // namespace

struct WebServer::Impl {
    ServeSettings settings;
    SessionThread& thread;
    WebSession& session;
    BrowserFace& face;
    httplib::Server server;
    int port = 0;

    std::mutex mutex;
    std::condition_variable changed;
    uint64_t version = 0;
    nlohmann::json state;
    std::atomic<bool> stopping{false};

    Impl(const ServeSettings& s, SessionThread& t, WebSession& w, BrowserFace& f)
        : settings(s), thread(t), session(w), face(f) {}

    // Called with the mutex held.
    std::string Snapshot() const {
        nlohmann::json j = {{"version", version}, {"state", state}, {"pending", face.Pending()}};
        return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }

    bool HostAllowed(const Request& req) const {
        if (!settings.loopback) return true;
        const std::string host = req.get_header_value("Host");
        const std::string p = ":" + std::to_string(port);
        return host == "127.0.0.1" + p || host == "localhost" + p || host == "[::1]" + p ||
               host == settings.address + p;
    }

    bool TokenGiven(const Request& req) const {
        return SameSecret(req.get_header_value("X-Brindle-Token"), settings.token) ||
               SameSecret(CookieValue(req.get_header_value("Cookie"), "brindle_token"), settings.token) ||
               SameSecret(req.get_param_value("token"), settings.token);
    }

    HandlerResponse Check(const Request& req, Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("X-Frame-Options", "DENY");
        res.set_header("Referrer-Policy", "no-referrer");
        if (!HostAllowed(req)) {
            Refuse(res, 403, "this server answers only to its own address");
            return HandlerResponse::Handled;
        }
        if (!settings.loopback && !TokenGiven(req)) {
            Refuse(res, 401, "open the address with the token the server printed");
            return HandlerResponse::Handled;
        }
        if (req.method == "POST") {
            if (!SameSecret(req.get_header_value("X-Brindle-Token"), settings.token)) {
                Refuse(res, 403, "a change needs the X-Brindle-Token header");
                return HandlerResponse::Handled;
            }
            const std::string origin = req.get_header_value("Origin");
            if (!origin.empty() && origin != "http://" + req.get_header_value("Host")) {
                Refuse(res, 403, "a change must come from this server's own page");
                return HandlerResponse::Handled;
            }
            const std::string site = req.get_header_value("Sec-Fetch-Site");
            if (!site.empty() && site != "same-origin" && site != "none") {
                Refuse(res, 403, "a change must come from this server's own page");
                return HandlerResponse::Handled;
            }
            if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
                Refuse(res, 415, "send JSON (Content-Type: application/json)");
                return HandlerResponse::Handled;
            }
        } else if (req.method != "GET" && req.method != "HEAD") {
            Refuse(res, 405, "only GET and POST");
            return HandlerResponse::Handled;
        }
        return HandlerResponse::Unhandled;
    }

    void PublishState(nlohmann::json s) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            state = std::move(s);
            ++version;
        }
        changed.notify_all();
    }

    void PublishPending() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++version;
        }
        changed.notify_all();
    }

    void ServeFile(const std::string& name, Response& res, bool page) {
        const char* type = nullptr;
        const char* text = WebPageFile(name, &type);
        if (!text) {
            Refuse(res, 404, "no such file");
            return;
        }
        std::string body = text;
        if (page) {
            const std::string mark = "{{TOKEN}}";
            const size_t at = body.find(mark);
            if (at != std::string::npos) body.replace(at, mark.size(), settings.token);
            const std::string versionMark = "{{VERSION}}";
            for (size_t v = body.find(versionMark); v != std::string::npos; v = body.find(versionMark))
                body.replace(v, versionMark.size(), WebPageVersion());
            // The state goes inside a script element, where "</script" or "<!--" in a value would
            // end or change it: every "<" (only ever inside a JSON string) becomes its escape.
            std::string snapshot;
            {
                std::lock_guard<std::mutex> lock(mutex);
                snapshot = Snapshot();
            }
            for (size_t p = snapshot.find('<'); p != std::string::npos; p = snapshot.find('<', p + 6))
                snapshot.replace(p, 1, "\\u003c");
            const std::string stateMark = "{{STATE}}";
            const size_t st = body.find(stateMark);
            if (st != std::string::npos) body.replace(st, stateMark.size(), snapshot);
            // The page's own script asks with the header; the cookie lets the event stream,
            // which cannot send headers, in off loopback.
            if (!settings.loopback)
                res.set_header("Set-Cookie",
                               "brindle_token=" + settings.token + "; Path=/; HttpOnly; SameSite=Strict");
            res.set_header("Cache-Control", "no-store");
            res.set_header(
                "Content-Security-Policy",
                "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; "
                "form-action 'none'");
        } else {
            res.set_header("Cache-Control", "public, max-age=31536000, immutable");
        }
        res.set_content(body, type);
    }

    // Runs the session's action and publishes the state it leaves.
    void Action(const std::string& action, const Request& req, Response& res) {
        nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
        if (body.is_discarded()) return Refuse(res, 400, "the body is not JSON");
        if (!body.is_object()) return Refuse(res, 400, "the request's body must be a JSON object");
        if (face.Busy()) return Refuse(res, 409, "a dialog is open: answer it first");
        if (stopping) return Refuse(res, 503, "the server is stopping");
        std::optional<WebSession::Reply> reply = thread.Call([&]() -> std::optional<WebSession::Reply> {
            WebSession::Reply r = session.Handle(action, body);
            if (r.status / 100 == 2) PublishState(session.State());
            return r;
        });
        if (!reply) return Refuse(res, 503, "the server is stopping");
        Send(res, reply->status, reply->body);
    }

    void AnswerDialog(const Request& req, Response& res) {
        const nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
        if (body.is_discarded() || !body.is_object())
            return Refuse(res, 400, "the body is not a JSON object");
        if (!body.contains("serial") || !body["serial"].is_number_unsigned())
            return Refuse(res, 400, "\"serial\" must name the dialog answered");
        const std::string button = body.value("button", std::string());
        if (button.empty()) return Refuse(res, 400, "\"button\" must name the button pressed");
        std::vector<DialogStep> steps;
        if (button != "Cancel") {
            if (body.contains("values")) {
                if (!body["values"].is_array()) return Refuse(res, 400, "\"values\" must be a list");
                for (const nlohmann::json& v : body["values"]) {
                    if (!v.is_object() || !v.contains("widget") || !v.contains("value"))
                        return Refuse(res, 400, "each value needs \"widget\" and \"value\"");
                    DialogStep s;
                    s.kind = DialogStep::Kind::kSet;
                    const nlohmann::json& w = v["widget"];
                    if (w.is_string())
                        s.widget = w.get<std::string>();
                    else if (w.is_number_unsigned())
                        s.widget = std::to_string(w.get<uint64_t>());
                    else
                        return Refuse(res, 400, "\"widget\" must be a widget's name or number");
                    const nlohmann::json& value = v["value"];
                    if (value.is_boolean())
                        s.value = value.get<bool>() ? "true" : "false";
                    else if (value.is_string())
                        s.value = value.get<std::string>();
                    else
                        return Refuse(res, 400, "\"value\" must be a text or true or false");
                    steps.push_back(std::move(s));
                }
            }
            steps.push_back({DialogStep::Kind::kClick, button, {}});
        }
        switch (face.AnswerDialog(body["serial"].get<uint64_t>(), std::move(steps))) {
        case BrowserFace::Reply::kTaken:
            return Send(res, 200, nlohmann::json::object());
        case BrowserFace::Reply::kNothingOpen:
            return Refuse(res, 409, "no dialog is open");
        case BrowserFace::Reply::kStale:
            return Refuse(res, 409, "that dialog was answered already");
        }
    }

    void AnswerQuestion(const Request& req, Response& res) {
        const nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
        if (body.is_discarded() || !body.is_object())
            return Refuse(res, 400, "the body is not a JSON object");
        if (!body.contains("serial") || !body["serial"].is_number_unsigned() || !body.contains("button") ||
            !body["button"].is_number_integer())
            return Refuse(res, 400, "\"serial\" and \"button\" (a number from 1) are needed");
        const int64_t button = body["button"].get<int64_t>();
        if (button < 1 || button > 3) return Refuse(res, 400, "\"button\" is a number from 1 to 3");
        switch (face.AnswerQuestion(body["serial"].get<uint64_t>(), static_cast<int16>(button))) {
        case BrowserFace::Reply::kTaken:
            return Send(res, 200, nlohmann::json::object());
        case BrowserFace::Reply::kNothingOpen:
            return Refuse(res, 409, "no question is open");
        case BrowserFace::Reply::kStale:
            return Refuse(res, 409, "that question was answered already");
        }
    }

    void Events(Response& res) {
        auto last = std::make_shared<uint64_t>(0);
        res.set_header("X-Accel-Buffering", "no");
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider("text/event-stream", [this, last](size_t, httplib::DataSink& sink) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait_for(lock, kKeepAliveComment, [&] { return stopping.load() || version != *last; });
            if (stopping) return false;
            std::string data;
            if (version == *last) {
                data = ": still here\n\n";
            } else {
                *last = version;
                data = "event: state\ndata: " + Snapshot() + "\n\n";
            }
            lock.unlock();
            return sink.write(data.data(), data.size());
        });
    }

    void Routes() {
        server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
        server.set_payload_max_length(settings.maxBody);
        server.set_keep_alive_timeout(5);
        // Small answers go out at once instead of waiting for the peer's delayed ACK.
        server.set_tcp_nodelay(true);
        server.set_pre_routing_handler([this](const Request& req, Response& res) { return Check(req, res); });
        server.Get("/", [this](const Request&, Response& res) { ServeFile("index.html", res, true); });
        server.Get("/panel.js", [this](const Request&, Response& res) { ServeFile("panel.js", res, false); });
        server.Get("/panel.css",
                   [this](const Request&, Response& res) { ServeFile("panel.css", res, false); });
        server.Get("/api/state", [this](const Request&, Response& res) {
            res.set_header("Cache-Control", "no-store");
            std::lock_guard<std::mutex> lock(mutex);
            res.set_content(Snapshot(), "application/json");
        });
        server.Get("/api/panel", [this](const Request&, Response& res) {
            std::lock_guard<std::mutex> lock(mutex);
            Send(res, 200, state.value("panel", nlohmann::json::object()));
        });
        server.Get("/api/files", [this](const Request&, Response& res) { Send(res, 200, session.Files()); });
        server.Get("/api/events", [this](const Request&, Response& res) { Events(res); });
        const std::pair<const char*, const char*> actions[] = {{"/api/documents/open", "open"},
                                                               {"/api/documents/close", "close"},
                                                               {"/api/documents/front", "front"},
                                                               {"/api/save", "save"},
                                                               {"/api/undo", "undo"},
                                                               {"/api/redo", "redo"},
                                                               {"/api/selection", "select"},
                                                               {"/api/panel", "panel"}};
        for (const auto& [path, action] : actions) {
            const std::string name = action;
            server.Post(path, [this, name](const Request& req, Response& res) { Action(name, req, res); });
        }
        server.Post("/api/dialog", [this](const Request& req, Response& res) { AnswerDialog(req, res); });
        server.Post("/api/question", [this](const Request& req, Response& res) { AnswerQuestion(req, res); });
        server.set_error_handler([](const Request&, Response& res) {
            if (res.body.empty())
                Send(res, res.status,
                     {{"error", res.status == 413 ? "the request is too large" : "the request was refused"}});
        });
    }
};

WebServer::WebServer(const ServeSettings& settings, SessionThread& thread, WebSession& session,
                     BrowserFace& face)
    : fImpl(std::make_unique<Impl>(settings, thread, session, face)) {
    fImpl->Routes();
}

WebServer::~WebServer() {
    Stop();
}

bool WebServer::Bind(std::string* error) {
    Impl& i = *fImpl;
    if (i.settings.port == 0) {
        i.port = i.server.bind_to_any_port(i.settings.address);
        if (i.port > 0) return true;
    } else if (i.server.bind_to_port(i.settings.address, i.settings.port)) {
        i.port = i.settings.port;
        return true;
    }
    if (error) *error = "cannot listen on " + i.settings.address + ":" + std::to_string(i.settings.port);
    return false;
}

int WebServer::Port() const {
    return fImpl->port;
}

std::string WebServer::URL() const {
    const std::string host = fImpl->settings.address.find(':') != std::string::npos
                                 ? "[" + fImpl->settings.address + "]"
                                 : fImpl->settings.address;
    std::string url = "http://" + host + ":" + std::to_string(fImpl->port) + "/";
    if (!fImpl->settings.loopback) url += "?token=" + fImpl->settings.token;
    return url;
}

void WebServer::Run() {
    fImpl->server.listen_after_bind();
}

void WebServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(fImpl->mutex);
        fImpl->stopping = true;
    }
    fImpl->changed.notify_all();
    fImpl->face.Shutdown();
    fImpl->server.stop();
}

void WebServer::PublishState(nlohmann::json state) {
    fImpl->PublishState(std::move(state));
}

void WebServer::PublishPending() {
    fImpl->PublishPending();
}
