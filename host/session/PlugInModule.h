// Loading a plug-in module: a shared object that exports GetPlugIn, which returns the plug-in
// object the host registers when it starts (Host::Start).
#pragma once

#include "session/IPlugIn.h"

#include <filesystem>
#include <string>

namespace Host {
// The file name of the plug-in module in its folder.
inline constexpr const char* kPlugInModuleName = "Brindle.pln";
// Loads the module for the life of the process (its symbols visible to what is loaded after
// it) and returns its plug-in object; null with the reason, naming the file, when the file is
// missing, is not a module or does not export GetPlugIn.
IPlugIn* LoadPlugInModule(const std::filesystem::path& file, std::string* error = nullptr);
} // namespace Host
