#include "BRNPlugIn.h"

#include "BRNFieldData.h"
#include "BRNID.h"
#include "BRNPrefsPrst.h"
#include "BRNStrings.h"
#include "HostConfig.h"
#include "HostIDs.h"
#include "ObjectModel.h"

#include <unistd.h>

PluginID BRNPlugIn::GetPluginID() const { return kBRNPluginID; }

// What the desktop host would read from the plug-in's resources: implementations, the
// add-ins on host classes and the string table.
void BRNPlugIn::RegisterImplementations() {
    ObjectModel::RegisterImplementation(kBRNPrefsPrstImpl, MakeFactory<BRNPrefsPrst>());
    ObjectModel::RegisterImplementation(kBRNFieldDataImpl, MakeFactory<BRNFieldData>());
    ObjectModel::AddIn(kSessionBoss, {IID_IBRNPREFS, kBRNPrefsPrstImpl});
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
