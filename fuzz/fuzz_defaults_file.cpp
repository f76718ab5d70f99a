// Any bytes as a defaults file beside the plug-in: the defaults and deadline colours of a
// package are looked up and applied to a package with fields of every type.
#include "files/BRNUtils.h"
#include "logic/BRNPackageUtils.h"
#include "model/BRNPackage.h"
#include "FuzzHome.h"

#include <cstddef>
#include <cstdint>

namespace {

BRNField Field(const char* name, int32 type) {
    BRNField f{PMString(name)};
    f.SetShortName(PMString(name));
    f.SetType(type);
    return f;
}

BRNPackage MakePackage() {
    BRNFieldList fields;
    const char* names[] = {"S", "I", "B", "C", "CS", "Dir", "D", "Dec", "T", "MC", "Calc", "DL"};
    for (int32 type = 0; type < 12; ++type)
        fields.push_back(Field(names[type], type));
    BRNPackage package(fields, PMString("Fuzz"), PMString(), 1);
    package.SetEnabled(kTrue);
    return package;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhome::Configure();
    fuzzhome::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzhome::WriteBytes(HostConfig::Get().pluginDir / "Brindle_defaults.xml", data, size);
    BRNPackage package = MakePackage();
    BRNUtils::ApplyDefaultsFile(package);
    BRNPackageUtils::UpdateCalculatedFields(package);
    for (const BRNDeadlineColor& c : BRNUtils::GetDeadlineColors(PMString("Fuzz")))
        (void)c;
    for (const BRNDeadlineColor& c : BRNUtils::GetDeadlineColors(PMString("Other")))
        (void)c;
    return 0;
}
