// The program's layout package reader and writer: the module, loaded the first time a file
// that starts as a zip is asked about (see IdmlModule.h). When it cannot be loaded, reading or
// writing any zip fails with the reason, and nothing is written.
#include "formats/IdmlModule.h"
#include "session/ModuleOnDemand.h"

namespace fs = std::filesystem;

namespace IdmlPackage {

namespace {

const ModuleFunctions* Loaded(std::string* reason) {
    return Host::ModuleOnDemand<ModuleFunctions>(kModuleName, kModuleEntry, "layout package reader", kModuleABI, reason);
}

} // namespace

bool IsPackage(const fs::path& file) {
    if (!StartsAsZip(file)) return false;
    // Without the module a zip is taken for a package, so that reading and writing it fail
    // with the reason instead of handing it to the toolkit's generic packet scan.
    const ModuleFunctions* f = Loaded(nullptr);
    return !f || f->isPackage(file);
}

bool ReadPacket(const fs::path& file, bool* hasPacket, std::string* packet, std::string* error) {
    const ModuleFunctions* f = Loaded(error);
    return f && f->readPacket(file, hasPacket, packet, error);
}

bool Read(const fs::path& file, Contents* contents, std::string* error) {
    const ModuleFunctions* f = Loaded(error);
    return f && f->read(file, contents, error);
}

bool Write(const fs::path& file, const Changes& changes, std::string* error) {
    const ModuleFunctions* f = Loaded(error);
    return f && f->write(file, changes, error);
}

} // namespace IdmlPackage
