#include "WebApp.h"

#include "BrowserFace.h"
#include "SessionThread.h"
#include "WebSession.h"

#include "documents/DocumentHost.h"
#include "ui/CAlert.h"
#include "ui/DialogDriver.h"
#include "ui/HostDialogs.h"

WebApp::WebApp(Options options, std::function<bool()> startHost, std::function<void()> stopHost)
    : fOptions(std::move(options)), fStartHost(std::move(startHost)), fStopHost(std::move(stopHost)) {}

WebApp::~WebApp() {
    Stop();
    // The session thread closes the documents and stops the host once the work queued is done.
    if (fThread) fThread->Quit();
    fServer.reset();
    fThread.reset();
}

bool WebApp::Start(std::string* error) {
    fFace = std::make_shared<BrowserFace>([this] {
        if (fServer) fServer->PublishPending();
    });
    fSession = std::make_unique<WebSession>(fOptions.roots, *fFace);
    if (fSession->Roots().empty()) {
        *error = "no folder to serve: give --root DIR";
        return false;
    }
    std::string opening;
    fThread = std::make_unique<SessionThread>(
        [this, &opening] {
            auto fail = [this, &opening](const std::string& why) {
                opening = why;
                fSession->CloseAll();
                DialogDriver::SetFace(nullptr);
                CAlert::SetSink(nullptr);
                if (fStopHost) fStopHost();
                return false;
            };
            if (fStartHost && !fStartHost()) return fail("the plug-in could not be started");
            // Every alert and dialog of this session goes to the pages.
            CAlert::SetSink(fFace);
            DialogDriver::SetFace(fFace);
            // The required-fields dialog is asked in the pages like every other dialog.
            HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kAsk);
            // The plug-in's panel, open from the start: it follows the session from then on.
            if (!fSession->OpenPanel()) return fail("the plug-in's panel could not be opened");
            for (const std::string& f : fOptions.files) {
                const WebSession::Reply r = fSession->Handle("open", {{"path", f}});
                if (r.status != 200)
                    return fail(f + ": " + r.body.value("error", std::string("cannot be opened")));
            }
            return true;
        },
        [this] {
            fSession->CloseAll();
            DialogDriver::SetFace(nullptr);
            CAlert::SetSink(nullptr);
            if (fStopHost) fStopHost();
        });
    if (!fThread->Started()) {
        *error = opening;
        return false;
    }
    fServer = std::make_unique<WebServer>(fOptions.server, *fThread, *fSession, *fFace);
    if (!fServer->Bind(error)) return false;
    fThread->Call([this] {
        fServer->PublishState(fSession->State());
        return true;
    });
    return true;
}

int WebApp::Port() const {
    return fServer ? fServer->Port() : 0;
}

std::string WebApp::URL() const {
    return fServer ? fServer->URL() : std::string();
}

void WebApp::Run() {
    if (fServer) fServer->Run();
}

void WebApp::Stop() {
    if (fFace) fFace->Shutdown();
    if (fServer) fServer->Stop();
}
