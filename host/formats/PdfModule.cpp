// The entry point of the PDF module (see PdfModule.h).
#include "formats/PdfModule.h"

extern "C" __attribute__((visibility("default"))) const PdfFile::ModuleFunctions* BrindlePdfFunctions() {
    static const PdfFile::ModuleFunctions functions{PdfFile::kModuleABI, &PdfFile::Prepare, &PdfFile::Append};
    return &functions;
}
