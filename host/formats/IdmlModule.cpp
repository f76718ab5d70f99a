// The entry point of the layout package module (see IdmlModule.h).
#include "formats/IdmlModule.h"

extern "C" const IdmlPackage::ModuleFunctions* BrindleIdmlFunctions() {
    static const IdmlPackage::ModuleFunctions functions{IdmlPackage::kModuleABI, &IdmlPackage::IsPackage,
                                                        &IdmlPackage::ReadPacket, &IdmlPackage::Read,
                                                        &IdmlPackage::Write};
    return &functions;
}
