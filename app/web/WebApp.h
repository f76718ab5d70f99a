// `brindle serve` put together: the host session on its own thread, the browser face, the
// session's actions and the HTTP server, started and stopped as one.
#pragma once

#include "WebServer.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class BrowserFace;
class SessionThread;
class WebSession;

class WebApp {
public:
    struct Options {
        ServeSettings server;
        std::vector<std::filesystem::path> roots;
        // Opened at start (each must be under a root).
        std::vector<std::string> files;
    };
    // startHost starts the host session on the session thread (false: it could not);
    // stopHost stops it there.
    WebApp(Options options, std::function<bool()> startHost, std::function<void()> stopHost);
    ~WebApp();
    WebApp(const WebApp&) = delete;
    WebApp& operator=(const WebApp&) = delete;

    // Starts the host, opens the files and binds the address; false and the reason when any
    // of it fails.
    bool Start(std::string* error);
    int Port() const;
    std::string URL() const;
    // Serves until Stop (from another thread or a signal's thread).
    void Run();
    // Ends Run; the documents close (unsaved) and the host stops when the app goes away.
    void Stop();

private:
    Options fOptions;
    std::function<bool()> fStartHost;
    std::function<void()> fStopHost;
    std::shared_ptr<BrowserFace> fFace;
    std::unique_ptr<WebSession> fSession;
    std::unique_ptr<SessionThread> fThread;
    std::unique_ptr<WebServer> fServer;
};
