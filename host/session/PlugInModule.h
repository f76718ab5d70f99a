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

// The folder of the running program, where its modules are.
std::filesystem::path ProgramFolder();

// The program's parts that bring large libraries (the PDF reader, the web server, the line
// editor) are modules of their own beside it, loaded the first time they are needed. Loads
// the module (the file name in the program's folder) for the life of the process, its own
// symbols kept to itself (it binds to what is loaded globally), and returns the named entry
// point; null, with "the <what> <file> cannot be loaded: <reason>", when it cannot.
void* LoadModuleEntry(const char* module, const char* entry, const std::string& what, std::string* error);
} // namespace Host
