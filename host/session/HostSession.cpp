// The host's own implementations: the session, the utilities and the maker's logger.
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "io/IXMLUtils.h"
#include "io/XMLOutStream.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "session/Host.h"
#include "session/ICVLogger.h"
#include "session/IPanelMgr.h"
#include "session/ISession.h"
#include "session/Utils.h"
#include "subjects/CSubject.h"
#include "subjects/ISubject.h"
#include "ui/ActionRegistry.h"
#include "ui/IPanelView.h"
#include "ui/ITip.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <unistd.h>

namespace {

enum : ImplementationID {
    kHostSessionImpl = 0x2001,
    kHostSubjectImpl = 0x2002,
    kHostXMLUtilsImpl = 0x2003,
    kHostCVLoggerImpl = 0x2004,
    kHostPanelMgrImpl = 0x2005,
};

ISession* gSession = nullptr;
Boss* gSessionBoss = nullptr;
IPlugIn* gPlugin = nullptr;
// The utilities object lives as long as the session: the plug-in's add-ins on it (services
// reached through QueryUtils) belong to the registration of that session.
IPMUnknown* gUtils = nullptr;
bool gOutsideComponents = true;

class HostSession : public CPMUnknown<ISession> {
public:
    explicit HostSession(Boss* boss) : CPMUnknown<ISession>(boss) {}
    PMString GetUserName() const override {
        PMString s(HostConfig::Get().userName);
        s.SetTranslatable(kFalse);
        return s;
    }
    PMString GetUserAlias() const override {
        PMString s(HostConfig::Get().alias);
        s.SetTranslatable(kFalse);
        return s;
    }
    IPMUnknown* QueryOutsideComponents() const override {
        if (!gOutsideComponents) return nullptr;
        return CreateObject(kCVLoggerBoss, IID_IUNKNOWN);
    }
};

class HostPanelMgr : public CPMUnknown<IPanelMgr> {
public:
    explicit HostPanelMgr(Boss* boss) : CPMUnknown<IPanelMgr>(boss) {}
    ~HostPanelMgr() override {
        for (auto& [id, entry] : fPanels)
            entry.panel->Release();
    }
    IPMUnknown* GetPanelFromWidgetID(WidgetID id) const override {
        auto it = fPanels.find(id);
        return it == fPanels.end() ? nullptr : it->second.panel;
    }
    void RegisterPanel(WidgetID id, IPMUnknown* panel) override {
        if (!panel) return;
        panel->AddRef();
        UnregisterPanel(id);
        fPanels[id] = {panel, kFalse};
    }
    void UnregisterPanel(WidgetID id) override {
        auto it = fPanels.find(id);
        if (it == fPanels.end()) return;
        IPMUnknown* panel = it->second.panel;
        fPanels.erase(it);
        panel->Release();
    }
    bool16 IsPanelWithWidgetIDShown(WidgetID id) const override {
        auto it = fPanels.find(id);
        return it != fPanels.end() && it->second.shown;
    }
    void ShowPanelByWidgetID(WidgetID id) override { SetShown(id, kTrue); }
    void HidePanelByWidgetID(WidgetID id) override { SetShown(id, kFalse); }

private:
    struct Entry {
        IPMUnknown* panel = nullptr;
        bool16 shown = kFalse;
    };
    void SetShown(WidgetID id, bool16 shown) {
        auto it = fPanels.find(id);
        if (it != fPanels.end()) it->second.shown = shown;
    }
    std::map<WidgetID, Entry> fPanels;
};

class HostPanelView : public CPMUnknown<IPanelView> {
public:
    explicit HostPanelView(Boss* boss) : CPMUnknown<IPanelView>(boss) {}
    WidgetModel* GetWidget() override { return fWidget.get(); }
    void SetWidget(std::unique_ptr<WidgetModel> widget) override { fWidget = std::move(widget); }

private:
    std::unique_ptr<WidgetModel> fWidget;
};

class HostXMLUtils : public CPMUnknown<IXMLUtils> {
public:
    explicit HostXMLUtils(Boss* boss) : CPMUnknown<IXMLUtils>(boss) {}
    IXMLOutStream* CreateXMLOutStream(IPMStream* stream, Encoding) override {
        if (!stream) return nullptr;
        return new XMLOutStream(stream);
    }
};

// Writes each line as "<level> <product> <version> <file>:<line> <message>".
class HostCVLogger : public CPMUnknown<ICVLogger> {
public:
    explicit HostCVLogger(Boss* boss) : CPMUnknown<ICVLogger>(boss) {}
    void Log(int32 level, const char* product, const char* version, const char* sourceFile, int32 line,
             const char* message) override {
        Write(level, product, version, sourceFile, line, message);
    }
    void LogExtended(int32 level, const char* product, const char* version, const char* sourceFile,
                     int32 line, const char* message) override {
        Write(level, product, version, sourceFile, line, message);
    }
    int32 GetLogLevel(const char*) override { return HostConfig::Get().logLevel; }
    std::string GetLogFile() override { return HostConfig::Get().logFile.string(); }
    void SetStatus(int32 level, const std::string& file) override {
        HostConfig& cfg = HostConfig::Get();
        const std::filesystem::path path(file);
        if (cfg.logLevel == level && cfg.logFile == path) return;
        cfg.logLevel = level;
        cfg.logFile = path;
        InterfacePtr<ISubject> subject(GetExecutionContextSession(), IID_ISUBJECT);
        if (subject)
            subject->Change(kCVLoggerStatusChangedMessage, IID_ICVLOGGER, static_cast<ICVLogger*>(this));
    }

private:
    static void Write(int32 level, const char* product, const char* version, const char* sourceFile,
                      int32 line, const char* message) {
        const auto& cfg = HostConfig::Get();
        std::string text = std::to_string(level) + " " + (product ? product : "") + " " +
                           (version ? version : "") + " " + (sourceFile ? sourceFile : "") + ":" +
                           std::to_string(line) + " " + (message ? message : "") + "\n";
        if (cfg.logFile.empty()) {
            std::cerr << text << std::flush;
        } else {
            std::ofstream out(cfg.logFile, std::ios::app | std::ios::binary);
            out << text;
        }
    }
};

class HostTextControlData final : public CPMUnknown<ITextControlData> {
public:
    explicit HostTextControlData(Boss* boss) : CPMUnknown<ITextControlData>(boss) {}
    PMString GetString() const override { return fText; }
    void SetString(const PMString& text) override { fText = text; }

private:
    PMString fText;
};

void RegisterHostClasses() {
    ObjectModel::RegisterImplementation(kHostSessionImpl, MakeFactory<HostSession>());
    ObjectModel::RegisterImplementation(kHostSubjectImpl, MakeFactory<CSubject>());
    ObjectModel::RegisterImplementation(kHostXMLUtilsImpl, MakeFactory<HostXMLUtils>());
    ObjectModel::RegisterImplementation(kHostCVLoggerImpl, MakeFactory<HostCVLogger>());
    ObjectModel::RegisterImplementation(kHostPanelMgrImpl, MakeFactory<HostPanelMgr>());
    ObjectModel::RegisterImplementation(kHostPanelViewImplementation, MakeFactory<HostPanelView>());
    ObjectModel::RegisterClass(kSessionBoss, {{IID_ISESSION, kHostSessionImpl},
                                              {IID_ISUBJECT, kHostSubjectImpl},
                                              {IID_IPANELMGR, kHostPanelMgrImpl}});
    ObjectModel::RegisterClass(kUtilsBoss, {{IID_IXMLUTILS, kHostXMLUtilsImpl}});
    ObjectModel::RegisterClass(kCVLoggerBoss, {{IID_ICVLOGGER, kHostCVLoggerImpl}});
    RegisterDocumentClasses();
    ObjectModel::RegisterImplementation(kHostTextControlDataImpl, MakeFactory<HostTextControlData>());
}

} // namespace

ISession* GetExecutionContextSession() {
    if (gSession || !gSessionBoss) return gSession;
    // The session is still being made: its own implementation is already there.
    IPMUnknown* s = gSessionBoss->Query(IID_ISESSION);
    if (!s) return nullptr;
    s->Release();
    return static_cast<ISession*>(s);
}

namespace UtilsBoss {
IPMUnknown* QueryUtils(PMIID interfaceID) {
    if (!gUtils) gUtils = CreateObject(kUtilsBoss, IID_IUNKNOWN);
    return gUtils ? gUtils->QueryInterface(interfaceID) : nullptr;
}
} // namespace UtilsBoss

IPanelMgr* GetPanelManager() {
    ISession* session = GetExecutionContextSession();
    if (!session) return nullptr;
    IPMUnknown* mgr = session->QueryInterface(IID_IPANELMGR);
    if (!mgr) return nullptr;
    mgr->Release(); // the session holds it
    return static_cast<IPanelMgr*>(mgr);
}

namespace Host {

bool Start(IPlugIn* plugin) {
    Stop();
    ObjectModel::Reset();
    RegisterHostClasses();
    // The menu is what this run's plug-in registers.
    ActionRegistry::Clear();
    gPlugin = plugin;
    if (plugin) plugin->RegisterImplementations();
    // The session must be reachable while its add-ins initialise (they log and load).
    IPMUnknown* session =
        ObjectModel::CreateObject(kSessionBoss, IID_ISESSION, [](Boss* boss) { gSessionBoss = boss; });
    if (!session) {
        gSessionBoss = nullptr;
        return false;
    }
    gSession = static_cast<ISession*>(session);
    return true;
}

void Stop() {
    if (gUtils) {
        gUtils->Release();
        gUtils = nullptr;
    }
    if (gSession) {
        ISession* s = gSession;
        gSession = nullptr;
        gSessionBoss = nullptr;
        s->Release();
    }
    gPlugin = nullptr;
}

bool IsRunning() {
    return gSession != nullptr;
}

bool IsPluginLoaded(PluginID id) {
    if (gPlugin && gPlugin->GetPluginID() == id) return true;
    const auto& present = HostConfig::Get().presentPlugins;
    return std::find(present.begin(), present.end(), id) != present.end();
}

bool GetPluginFile(PluginID id, IDFile* file) {
    // Only modules the host loaded have files; declared plug-ins have none.
    if (!gPlugin || gPlugin->GetPluginID() != id || !file) return false;
    *file = IDFile(gPlugin->GetResourceFile());
    return true;
}

void SetOutsideComponentsInstalled(bool installed) {
    gOutsideComponents = installed;
}

} // namespace Host
