// `brindle serve` past its options: the web server and the panel's pages. They live in the
// module brindle-serve.so beside the program, loaded only by `serve`, so that every other
// command starts without the HTTP library and the TLS and compression libraries it brings.
#pragma once

#include "web/WebApp.h"

#include <functional>
#include <string>

// Serves until SIGINT or SIGTERM: starts the host through startHost on the session's thread,
// prints the address, and stops the host through stopHost at the end. The exit code.
extern "C" int BrindleServeWebPanel(const WebApp::Options* options, std::function<bool()>* startHost,
                                    std::function<void()>* stopHost);
using ServeWebPanelFn = decltype(&BrindleServeWebPanel);
