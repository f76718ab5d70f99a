// The program's PDF reader: the PDF module, loaded the first time a PDF is read or written
// (see PdfModule.h). When it cannot be loaded, every PDF is refused with the reason, and
// nothing is written.
#include "formats/PdfModule.h"
#include "session/ModuleOnDemand.h"

namespace fs = std::filesystem;

namespace PdfFile {

namespace {

const ModuleFunctions* Loaded(std::string* reason) {
    return Host::ModuleOnDemand<ModuleFunctions>(kModuleName, kModuleEntry, "PDF reader", kModuleABI, reason);
}

} // namespace

Status Prepare(const fs::path& file, Revision* revision, std::string* reason) {
    const ModuleFunctions* f = Loaded(reason);
    return f ? f->prepare(file, revision, reason) : Status::kRefused;
}

bool Append(const fs::path& file, const Revision& revision, const std::string& packet, std::string* reason) {
    const ModuleFunctions* f = Loaded(reason);
    return f && f->append(file, revision, packet, reason);
}

} // namespace PdfFile
