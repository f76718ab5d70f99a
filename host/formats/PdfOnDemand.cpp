// The program's PDF reader: the PDF module, loaded the first time a PDF is read or written
// (see PdfModule.h). When it cannot be loaded, every PDF is refused with the reason, and
// nothing is written.
#include "formats/PdfModule.h"
#include "session/PlugInModule.h"

#include <mutex>

namespace fs = std::filesystem;

namespace PdfFile {

namespace {

const ModuleFunctions* Loaded(std::string* reason) {
    static std::once_flag once;
    static const ModuleFunctions* functions = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        auto* entry = reinterpret_cast<const ModuleFunctions* (*)()>(
            Host::LoadModuleEntry(kModuleName, kModuleEntry, "PDF reader", &failure));
        const ModuleFunctions* f = entry ? entry() : nullptr;
        if (f && f->abi == kModuleABI) functions = f;
        else if (f)
            failure = "the PDF reader " + (Host::ProgramFolder() / kModuleName).string() +
                      " cannot be loaded: it was built for another version of brindle";
    });
    if (!functions && reason) *reason = failure;
    return functions;
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
