// The HTTP side of `brindle serve`: the page, the JSON API under /api/ and the server-sent
// events that carry every change to every open page. Requests are checked here before they
// reach the session:
// - a Host header that is not the server's own address is refused on loopback (a site that
//   points its name at 127.0.0.1 gets nothing);
// - off loopback every request carries the token (header, cookie or ?token=);
// - a POST carries the token in the X-Brindle-Token header, comes from the page's own origin
//   when it names one, and is JSON; its body is at most maxBody bytes;
// - a body that does not parse gets 400 and changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

class BrowserFace;
class SessionThread;
class WebSession;

struct ServeSettings {
    std::string address = "127.0.0.1";
    int port = 8470; // 0: any free port
    // Needed by every state-changing request; off loopback by every request.
    std::string token;
    bool loopback = true;
    size_t maxBody = 64 * 1024;
};

class WebServer {
public:
    WebServer(const ServeSettings& settings, SessionThread& thread, WebSession& session, BrowserFace& face);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // False and the reason when the address cannot be had.
    bool Bind(std::string* error);
    int Port() const;
    // The address to open (with the token off loopback).
    std::string URL() const;
    // Serves until Stop.
    void Run();
    // Any thread; ends Run and every event stream.
    void Stop();

    // The session's state after a change (the session thread calls it).
    void PublishState(nlohmann::json state);
    // A dialog or question opened or closed (the face calls it).
    void PublishPending();

private:
    struct Impl;
    std::unique_ptr<Impl> fImpl;
};
