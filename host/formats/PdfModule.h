// The PDF reader as a module of its own (brindle-pdf.so beside the program). The reader
// brings qpdf and, through it, a TLS stack and a dozen more libraries; the program loads them
// only when a PDF is read or written, so that every other command starts without them.
//
// The module exports one C function handing out its entry points. `abi` changes whenever
// Revision or a signature below changes, so a module from another build is refused instead
// of called with the wrong layout.
#pragma once

#include "formats/PdfFile.h"

namespace PdfFile {

struct ModuleFunctions {
    int abi;
    Status (*prepare)(const std::filesystem::path& file, Revision* revision, std::string* reason);
    bool (*append)(const std::filesystem::path& file, const Revision& revision, const std::string& packet,
                   std::string* reason);
};

constexpr int kModuleABI = 1;
constexpr const char* kModuleName = "brindle-pdf.so";
constexpr const char* kModuleEntry = "BrindlePdfFunctions";

} // namespace PdfFile

extern "C" const PdfFile::ModuleFunctions* BrindlePdfFunctions();
