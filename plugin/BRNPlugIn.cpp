#include "BRNPlugIn.h"

#include "BRNID.h"
#include "BRNStrings.h"
#include "base/HostConfig.h"
#include "files/BRNPrefsPrst.h"
#include "files/BRNUtils.h"
#include "lifecycle/BRNActionComponent.h"
#include "lifecycle/BRNDocFileHandler.h"
#include "lifecycle/BRNDocObserver.h"
#include "lifecycle/BRNResponder.h"
#include "lifecycle/BRNServiceProvider.h"
#include "lifecycle/BRNTip.h"
#include "metadata/BRNDocPrefs.h"
#include "metadata/BRNDocPrefsPrst.h"
#include "metadata/BRNSetDocPrefsCmd.h"
#include "metadata/BRNSetXMPCmdData.h"
#include "metadata/BRNSetXMPDataCmd.h"
#include "objectmodel/HostIDs.h"
#include "objectmodel/ObjectModel.h"
#include "service/BRNBrindle.h"
#include "service/BRNSuiteASB.h"
#include "service/BRNSuiteGalleyCSB.h"
#include "service/BRNSuiteLayoutCSB.h"
#include "subjects/CSubject.h"
#include "subjects/ResponderRegistry.h"
#include "ui/BRNFieldData.h"
#include "ui/BRNPanelData.h"
#include "ui/IPanelView.h"
#include "ui/BRNPanelObserver.h"
#include "ui/BRNPanelSelectionObserver.h"

#include <dlfcn.h>
#include <unistd.h>

PluginID BRNPlugIn::GetPluginID() const {
    return kBRNPluginID;
}

// What the desktop host would read from the plug-in's resources: implementations, the
// add-ins on host classes and the string table.
void BRNPlugIn::RegisterImplementations() {
    ObjectModel::RegisterImplementation(kBRNPrefsPrstImpl, MakeFactory<BRNPrefsPrst>());
    ObjectModel::RegisterImplementation(kBRNFieldDataImpl, MakeFactory<BRNFieldData>());
    ObjectModel::RegisterImplementation(kBRNDocPrefsPrstImpl, MakeFactory<BRNDocPrefsPrst>());
    ObjectModel::RegisterImplementation(kBRNDocPrefsImpl, MakeFactory<BRNDocPrefs>());
    ObjectModel::RegisterImplementation(kBRNSetDocPrefsCmdImpl, MakeFactory<BRNSetDocPrefsCmd>());
    ObjectModel::RegisterImplementation(kBRNSetXMPCmdDataImpl, MakeFactory<BRNSetXMPCmdData>());
    ObjectModel::RegisterImplementation(kBRNSetXMPDataCmdImpl, MakeFactory<BRNSetXMPDataCmd>());
    ObjectModel::RegisterImplementation(kBRNBrindleImpl, MakeFactory<BRNBrindle>());
    ObjectModel::RegisterImplementation(kBRNPanelDataImpl, MakeFactory<BRNPanelData>());
    ObjectModel::RegisterImplementation(kBRNPanelSubjectImpl, MakeFactory<CSubject>());
    ObjectModel::RegisterImplementation(kBRNPanelObserverImpl, MakeFactory<BRNPanelObserver>());
    ObjectModel::RegisterImplementation(kBRNPanelSelectionObserverImpl, MakeFactory<BRNPanelSelectionObserver>());
    ObjectModel::RegisterImplementation(kBRNSuiteASBImpl, MakeFactory<BRNSuiteASB>());
    ObjectModel::RegisterImplementation(kBRNSuiteLayoutCSBImpl, MakeFactory<BRNSuiteLayoutCSB>());
    ObjectModel::RegisterImplementation(kBRNSuiteTextCSBImpl, MakeFactory<BRNSuiteTextCSB>());
    ObjectModel::RegisterImplementation(kBRNSuiteGalleyCSBImpl, MakeFactory<BRNSuiteGalleyCSB>());
    ObjectModel::AddIn(kSessionBoss, {IID_IBRNPREFS, kBRNPrefsPrstImpl});
    // Document preferences live with the document (on its workspace) and with each story.
    ObjectModel::AddIn(kDocWorkspaceBoss, {IID_IBRNDOCPREFS, kBRNDocPrefsPrstImpl});
    ObjectModel::AddIn(kStoryBoss, {IID_IBRNDOCPREFS, kBRNDocPrefsPrstImpl});
    ObjectModel::RegisterClass(kBRNSetXMPDataCmdBoss, {{IID_ICOMMAND, kBRNSetXMPDataCmdImpl},
                                                       {IID_IBRNSETXMPCMDDATA, kBRNSetXMPCmdDataImpl}});
    ObjectModel::RegisterClass(kBRNSetDocPrefsCmdBoss, {{IID_ICOMMAND, kBRNSetDocPrefsCmdImpl},
                                                        {IID_IBRNDOCPREFS, kBRNDocPrefsImpl}});
    // The metadata service: on a boss of its own, and on the host's utilities where callers
    // reach it (UtilsBoss::QueryUtils).
    ObjectModel::RegisterClass(kBRNBrindleBoss, {{IID_IBRINDLE, kBRNBrindleImpl}});
    ObjectModel::AddIn(kUtilsBoss, {IID_IBRINDLE, kBRNBrindleImpl});
    // The selection's suite: the abstract one, reached as Utils<IBRNSuite>.
    ObjectModel::RegisterClass(kBRNSuiteBoss, {{IID_IBRNSUITE, kBRNSuiteASBImpl}});
    ObjectModel::AddIn(kUtilsBoss, {IID_IBRNSUITE, kBRNSuiteASBImpl});
    ObjectModel::RegisterClass(kBRNSuiteLayoutBoss, {{IID_IBRNSUITE, kBRNSuiteLayoutCSBImpl}});
    ObjectModel::RegisterClass(kBRNSuiteTextBoss, {{IID_IBRNSUITE, kBRNSuiteTextCSBImpl}});
    ObjectModel::RegisterClass(kBRNSuiteGalleyBoss, {{IID_IBRNSUITE, kBRNSuiteGalleyCSBImpl}});
    // The panel's widget shows its own text as its tip.
    ObjectModel::RegisterImplementation(kBRNTipImpl, MakeFactory<BRNTip>());
    ObjectModel::RegisterClass(
        kBRNPanelBoss, {{IID_IBRNPANELDATA, kBRNPanelDataImpl},
                        {IID_ISUBJECT, kBRNPanelSubjectImpl},
                        {IID_IPANELVIEW, kHostPanelViewImplementation},
                        {IID_IOBSERVER, kBRNPanelObserverImpl},
                        {IID_IBRNPANELSELECTIONOBSERVER, kBRNPanelSelectionObserverImpl},
                        {IID_ITIP, kBRNTipImpl},
                        {IID_ITEXTCONTROLDATA, kHostTextControlDataImpl}});
    // The menu: the actions and the component that carries them out.
    ObjectModel::RegisterImplementation(kBRNActionComponentImpl, MakeFactory<BRNActionComponent>());
    ObjectModel::RegisterClass(kBRNActionComponentBoss, {{IID_IACTIONCOMPONENT, kBRNActionComponentImpl}});
    BRNActionComponent::RegisterActions();
    // The document lifecycle: the responder with the provider that names its signals, the
    // document observer and the saved class of the host's file handler on each document, and
    // our file handler.
    ObjectModel::RegisterImplementation(kBRNResponderImpl, MakeFactory<BRNResponder>());
    ObjectModel::RegisterImplementation(kBRNServiceProviderImpl, MakeFactory<BRNServiceProvider>());
    ObjectModel::RegisterImplementation(kBRNDocObserverImpl, MakeFactory<BRNDocObserver>());
    ObjectModel::RegisterImplementation(kBRNDocFileHandlerImpl, MakeFactory<BRNDocFileHandler>());
    ObjectModel::RegisterClass(kBRNResponderServiceBoss, {{IID_IK2SERVICEPROVIDER, kBRNServiceProviderImpl},
                                                          {IID_IRESPONDER, kBRNResponderImpl}});
    ObjectModel::RegisterClass(kBRNDocFileHandlerBoss, {{IID_IDOCFILEHANDLER, kBRNDocFileHandlerImpl}});
    ObjectModel::AddIn(kDocBoss, {IID_IBRNDOCOBSERVER, kBRNDocObserverImpl});
    ObjectModel::AddIn(kDocBoss, {IID_IBRNSAVEDFILEHANDLER, kHostClassIDDataImpl});
    ResponderRegistry::RegisterServiceProvider(kBRNResponderServiceBoss);
    BRNStrings::Register();
    BRNUtils::ResetCompanionMode();
}

std::filesystem::path BRNPlugIn::GetResourceFile() const {
    // The program's and the module's files stay what they are for the process: looked up once
    // (the defaults files are found beside the module for every document).
    struct Files {
        std::error_code ec;
        std::filesystem::path self, module;
    };
    static const Files files = [] {
        Files f;
        f.self = std::filesystem::read_symlink("/proc/self/exe", f.ec);
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&GetPlugIn), &info) && info.dli_fname && *info.dli_fname)
            f.module = info.dli_fname;
        return f;
    }();
    const std::error_code& ec = files.ec;
    const std::filesystem::path& self = files.self;
    // Loaded as a module: the module's own file.
    if (!files.module.empty()) {
        const std::filesystem::path& module = files.module;
        if (module.is_absolute() && (ec || module != self)) return module;
    }
    const auto& dir = HostConfig::Get().pluginDir;
    if (!dir.empty()) return dir / "Brindle.pln";
    // The plug-in is linked into the host program: its file is the program's.
    return ec ? std::filesystem::path("Brindle.pln") : self;
}

IPlugIn* GetPlugIn() {
    static BRNPlugIn plugin;
    return &plugin;
}
