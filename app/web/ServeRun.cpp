// The whole run of `brindle serve` once its options are read (see ServeEntry.h).
#include "AppContext.h"
#include "ServeEntry.h"

#include <csignal>
#include <iostream>
#include <pthread.h>
#include <thread>

extern "C" __attribute__((visibility("default"))) int BrindleServeWebPanel(const WebApp::Options* options,
                                                                          std::function<bool()>* startHost,
                                                                          std::function<void()>* stopHost) {
    // The signals are taken by a thread of their own, so that the server stops cleanly. They are
    // blocked before any thread starts, so that every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    WebApp app(*options, *startHost, *stopHost);
    std::string error;
    if (!app.Start(&error)) return Fail(kExitIO, error);
    std::cout << "brindle: serving " << app.URL() << std::endl;
    std::thread signals([&app, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (signal == SIGINT || signal == SIGTERM) app.Stop();
    });
    app.Run();
    // Run also ends without a signal (the socket failed): wake the signal thread.
    pthread_kill(signals.native_handle(), SIGTERM);
    signals.join();
    return kExitOK;
}
