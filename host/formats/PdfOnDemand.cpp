// The program's PDF reader: the PDF module, loaded the first time a PDF is read or written
// (see PdfModule.h). When it cannot be loaded, every PDF is refused with the reason, and
// nothing is written.
#include "formats/PdfModule.h"

#include <dlfcn.h>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace PdfFile {

namespace {

// The module sits beside the program, as the command module does.
fs::path ModulePath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (ec ? fs::path(".") : self.parent_path()) / kModuleName;
}

const ModuleFunctions* Loaded(std::string* reason) {
    static std::once_flag once;
    static const ModuleFunctions* functions = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        const fs::path path = ModulePath();
        // Kept for the life of the process: the functions are called until it ends.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto* entry = handle ? reinterpret_cast<const ModuleFunctions* (*)()>(dlsym(handle, kModuleEntry)) : nullptr;
        const ModuleFunctions* f = entry ? entry() : nullptr;
        if (f && f->abi == kModuleABI) {
            functions = f;
            return;
        }
        const char* why = dlerror();
        failure = "the PDF reader " + path.string() + " cannot be loaded: " +
                  (f ? std::string("it was built for another version of brindle")
                     : why ? std::string(why) : std::string("it has no ") + kModuleEntry);
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
