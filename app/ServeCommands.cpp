// brindle serve: the panel in a browser, over one host session.
#include "AppContext.h"
#include "ServeEntry.h"
#include "session/PlugInModule.h"

#include <fstream>
#include <iomanip>
#include <sstream>

namespace {
struct ServeOptions {
    std::string listen;
    std::vector<std::string> roots;
    std::vector<std::string> files;
    std::string token;
    size_t maxBody = 64 * 1024;
    bool alwaysToken = false;
};

// 128 random bits in hex.
std::string NewToken() {
    std::ifstream random("/dev/urandom", std::ios::binary);
    unsigned char bytes[16] = {};
    random.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (!random) return {};
    std::ostringstream hex;
    for (unsigned char b : bytes)
        hex << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(b);
    return hex.str();
}

// "ADDR:PORT", "[v6]:PORT" or ":PORT"; false when it does not read.
bool ParseListen(const std::string& text, std::string* address, int* port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = text.substr(0, colon);
    const std::string p = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int n = std::stoi(p);
    if (n > 65535) return false;
    *address = host;
    *port = n;
    return true;
}

bool IsLoopback(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}
} // namespace

void AddServeCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<ServeOptions>();
    auto* serve = app.add_subcommand("serve", "Serve the metadata panel to web browsers over one session");
    serve->add_option("--listen", o->listen,
                      "ADDR:PORT to listen on (default 127.0.0.1:8470; any other address needs the token)");
    serve
        ->add_option("--root", o->roots,
                     "A folder whose documents may be opened; repeatable "
                     "(default: the folders of the FILEs, else the current folder)")
        ->allow_extra_args(false);
    serve->add_option("--token", o->token, "The token requests must carry (default: a new random one)");
    serve->add_flag("--always-token", o->alwaysToken,
                    "Ask for the token on every request on loopback too (a machine shared by several users)");
    serve->add_option("--max-body", o->maxBody, "Largest request body in bytes")
        ->check(CLI::Range(1024, 16 << 20));
    serve->add_option("FILE", o->files, "Documents to open at start (inside a root)");
    serve->callback([&options, &exitCode, o]() {
        WebApp::Options web;
        web.server.address = "127.0.0.1";
        web.server.port = 8470;
        if (!o->listen.empty() && !ParseListen(o->listen, &web.server.address, &web.server.port)) {
            exitCode = Fail(kExitInput, "--listen takes ADDR:PORT, such as 127.0.0.1:8470");
            return;
        }
        web.server.loopback = IsLoopback(web.server.address) && !o->alwaysToken;
        web.server.token = o->token.empty() ? NewToken() : o->token;
        if (web.server.token.size() < 16) {
            exitCode = Fail(kExitInput, o->token.empty() ? "no random token could be made"
                                                         : "--token must have at least 16 characters");
            return;
        }
        web.server.maxBody = o->maxBody;
        std::error_code ec;
        for (const std::string& r : o->roots) {
            if (!std::filesystem::is_directory(r, ec)) {
                exitCode = Fail(kExitInput, "--root " + r + ": not a folder");
                return;
            }
            web.roots.emplace_back(r);
        }
        if (web.roots.empty()) {
            for (const std::string& f : o->files)
                web.roots.push_back(std::filesystem::absolute(f, ec).parent_path());
            if (web.roots.empty()) web.roots.push_back(std::filesystem::current_path(ec));
        }
        for (const std::string& f : o->files)
            web.files.push_back(std::filesystem::absolute(f, ec).string());

        std::string error;
        const auto serve = reinterpret_cast<ServeWebPanelFn>(
            Host::LoadModuleEntry("brindle-serve.so", "BrindleServeWebPanel", "web server", &error));
        if (!serve) {
            exitCode = Fail(kExitIO, error);
            return;
        }
        auto host = std::make_shared<std::unique_ptr<HostSessionScope>>();
        std::function<bool()> startHost = [&options, host] {
            *host = std::make_unique<HostSessionScope>(options);
            return (*host)->ok();
        };
        std::function<void()> stopHost = [host] { host->reset(); };
        exitCode = serve(&web, &startHost, &stopHost);
    });
}
