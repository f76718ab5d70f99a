// Any bytes as a package definition file: read as the library reads its files; a file that
// reads is written back and must read again as the same package (name, fields and their
// names, types and values).
#include "logic/BRNPackageUtils.h"
#include "model/BRNPackage.h"
#include "FuzzHome.h"

#include <cstddef>
#include <cstdint>

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhome::Configure();
    // The writer takes the host's XML services.
    fuzzhome::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path in = fuzzhome::Home() / "in_ID.xml";
    const std::filesystem::path out = fuzzhome::Home() / "out_ID.xml";
    fuzzhome::WriteBytes(in, data, size);
    BRNPackage first;
    PMString why;
    if (BRNPackageUtils::LoadPackageFile(IDFile(in), first, &why) != 0 || first.GetName().IsEmpty()) return 0;
    if (!BRNPackageUtils::WritePackageFile(IDFile(out), first)) Fail("a package that was read could not be written");
    BRNPackage again;
    if (BRNPackageUtils::LoadPackageFile(IDFile(out), again, &why) != 0) Fail("a written package does not read");
    if (!(again.GetName() == first.GetName())) Fail("the name changed");
    const BRNFieldList& a = first.GetFields();
    const BRNFieldList& b = again.GetFields();
    if (a.size() != b.size()) Fail("the number of fields changed");
    for (size_t i = 0; i < a.size(); ++i) {
        if (!(a[i].GetName() == b[i].GetName())) Fail("a field name changed");
        if (a[i].GetType() != b[i].GetType()) Fail("a field type changed");
        if (!(a[i].GetValue() == b[i].GetValue())) Fail("a field value changed");
    }
    return 0;
}
