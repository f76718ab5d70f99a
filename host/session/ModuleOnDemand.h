// The entry table of a module the program loads on demand (see LoadModuleEntry): loaded once,
// the first time it is asked for, and kept for the life of the process. The table's first
// member is `int abi`; a module whose table has another value was built for another version
// and is refused.
#pragma once

#include "session/PlugInModule.h"

#include <mutex>
#include <string>

namespace Host {

// Null, with the reason, when the module cannot be loaded; every later call gives the same.
template <typename Functions>
const Functions* ModuleOnDemand(const char* module, const char* entry, const char* what, int abi,
                                std::string* reason) {
    static std::once_flag once;
    static const Functions* functions = nullptr;
    static std::string failure;
    std::call_once(once, [&] {
        auto* get = reinterpret_cast<const Functions* (*)()>(LoadModuleEntry(module, entry, what, &failure));
        const Functions* f = get ? get() : nullptr;
        if (f && f->abi == abi)
            functions = f;
        else if (f)
            failure = std::string("the ") + what + " " + (ProgramFolder() / module).string() +
                      " cannot be loaded: it was built for another version of brindle";
    });
    if (!functions && reason) *reason = failure;
    return functions;
}

} // namespace Host
