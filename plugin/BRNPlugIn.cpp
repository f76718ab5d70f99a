#include "BRNPlugIn.h"

#include "BRNID.h"
#include "BRNStrings.h"
#include "base/HostConfig.h"
#include "files/BRNPrefsPrst.h"
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
#include "ui/BRNFieldData.h"
#include "ui/BRNPanelData.h"

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
    ObjectModel::RegisterClass(
        kBRNPanelBoss, {{IID_IBRNPANELDATA, kBRNPanelDataImpl}, {IID_ISUBJECT, kBRNPanelSubjectImpl}});
    BRNStrings::Register();
}

std::filesystem::path BRNPlugIn::GetResourceFile() const {
    const auto& dir = HostConfig::Get().pluginDir;
    if (!dir.empty()) return dir / "Brindle.pln";
    // The plug-in is linked into the host program: its file is the program's.
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path("Brindle.pln") : self;
}

IPlugIn* GetPlugIn() {
    static BRNPlugIn plugin;
    return &plugin;
}
