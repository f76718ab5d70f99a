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

} // namespace Host
