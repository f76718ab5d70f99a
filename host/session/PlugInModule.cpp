#include "session/PlugInModule.h"

#include <dlfcn.h>

namespace Host {

IPlugIn* LoadPlugInModule(const std::filesystem::path& file, std::string* error) {
    auto fail = [&](const std::string& why) -> IPlugIn* {
        if (error) *error = "cannot load the plug-in module " + file.string() + ": " + why;
        return nullptr;
    };
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return fail("no such file");
    // An absolute name, so that the module's own file (its resource file) is known wherever
    // the program runs from; never unloaded, the object model keeps its factories.
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    void* handle = dlopen((ec ? file : absolute).c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle) {
        const char* why = dlerror();
        return fail(why ? why : "not a loadable module");
    }
    auto* entry = reinterpret_cast<IPlugIn* (*)()>(dlsym(handle, "GetPlugIn"));
    if (!entry) return fail("it does not export GetPlugIn");
    IPlugIn* plugin = entry();
    if (!plugin) return fail("GetPlugIn gave no plug-in");
    return plugin;
}

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path(".") : self.parent_path();
}

void* LoadModuleEntry(const char* module, const char* entry, const std::string& what, std::string* error) {
    const std::filesystem::path file = ProgramFolder() / module;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* found = handle ? dlsym(handle, entry) : nullptr;
    if (!found && error) {
        const char* why = dlerror();
        *error = "the " + what + " " + file.string() + " cannot be loaded: " +
                 (why ? std::string(why) : std::string("it has no ") + entry);
    }
    return found;
}

} // namespace Host
