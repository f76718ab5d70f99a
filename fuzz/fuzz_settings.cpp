// Any bytes as the settings file: the program starts (its settings object reads the file
// and the library beside it) and the settings it took are among the values it knows.
#include "files/IBRNPrefs.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "FuzzHome.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhome::Configure();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path settings = fuzzhome::Home() / "config/corvane/BrindleSettings.xml";
    fuzzhome::WriteBytes(settings, data, size);
    fuzzhome::Start();
    {
        InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
        if (!prefs) std::abort();
        const int32 type = prefs->GetDataType();
        if (type < 0 || type > 2) {
            std::fprintf(stderr, "data type %d\n", type);
            std::abort();
        }
        (void)prefs->GetUseLatestPackage();
        (void)prefs->GetUseDefaultPackage();
    }
    Host::Stop();
    return 0;
}
