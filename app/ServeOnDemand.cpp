// The server loaded from brindle-serve.so beside the command module (see ServeEntry.h).
#include "ServeEntry.h"

#include <dlfcn.h>
#include <filesystem>

namespace {
constexpr const char* kServeModule = "brindle-serve.so";
}

ServeWebPanelFn FindServeWebPanel(std::string* error) {
    Dl_info self{};
    std::filesystem::path folder = ".";
    if (dladdr(reinterpret_cast<void*>(&FindServeWebPanel), &self) && self.dli_fname)
        folder = std::filesystem::path(self.dli_fname).parent_path();
    const std::filesystem::path module = folder / kServeModule;
    // Its references to the commands, the plug-in and the host are bound to the ones loaded
    // (the program loads those globally). Kept until the process ends.
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto serve = handle ? reinterpret_cast<ServeWebPanelFn>(dlsym(handle, "BrindleServeWebPanel")) : nullptr;
    if (!serve) {
        const char* why = dlerror();
        *error = "the web server " + module.string() + " cannot be loaded: " +
                 (why ? why : "it has no BrindleServeWebPanel");
    }
    return serve;
}
