// The layout package reader and writer as a module of its own (brindle-idml.so beside the
// program). It brings the zip library and, through it, OpenSSL's crypto library, whose start
// alone costs a one-shot command more than a tenth of its time; the program loads them only
// when a file that starts as a zip is asked about.
//
// The module exports one C function handing out its entry points; `abi` changes whenever the
// structures of IdmlPackage.h or a signature below change.
#pragma once

#include "formats/IdmlPackage.h"

namespace IdmlPackage {

struct ModuleFunctions {
    int abi;
    bool (*isPackage)(const std::filesystem::path& file);
    bool (*readPacket)(const std::filesystem::path& file, bool* hasPacket, std::string* packet, std::string* error);
    bool (*read)(const std::filesystem::path& file, Contents* contents, std::string* error);
    bool (*write)(const std::filesystem::path& file, const Changes& changes, std::string* error);
};

constexpr int kModuleABI = 1;
constexpr const char* kModuleName = "brindle-idml.so";
constexpr const char* kModuleEntry = "BrindleIdmlFunctions";

} // namespace IdmlPackage

extern "C" const IdmlPackage::ModuleFunctions* BrindleIdmlFunctions();
