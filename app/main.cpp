// brindle: the headless host. It loads the plug-in module from the plug-in folder, then the
// commands (which run against that module), and hands them the command line.
#include "session/PlugInModule.h"

#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

// The global option is read before the command line is parsed, because the module has to be
// loaded before the commands exist; the commands parse it again and check it.
std::filesystem::path PlugInFolder(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0) break;
        if (std::strcmp(a, "--plugin-dir") == 0 && i + 1 < argc) return argv[i + 1];
        if (std::strncmp(a, "--plugin-dir=", 13) == 0) return a + 13;
    }
    return Host::ProgramFolder();
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path module = PlugInFolder(argc, argv) / Host::kPlugInModuleName;
    std::string error;
    if (!Host::LoadPlugInModule(module, &error)) {
        std::cerr << "brindle: error: " << error << std::endl;
        return 2;
    }
    const std::filesystem::path commands = Host::ProgramFolder() / "brindle-commands.so";
    // Global: the web server's module, loaded by `serve` only, builds on the commands.
    void* handle = dlopen(commands.c_str(), RTLD_NOW | RTLD_GLOBAL);
    auto* run = handle ? reinterpret_cast<int (*)(int, char**)>(dlsym(handle, "BrindleRun")) : nullptr;
    if (!run) {
        const char* why = dlerror();
        std::cerr << "brindle: error: cannot load the commands " << commands.string() << ": "
                  << (why ? why : "no BrindleRun") << std::endl;
        return 2;
    }
    return run(argc, argv);
}
