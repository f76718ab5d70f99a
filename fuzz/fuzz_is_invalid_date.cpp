// Any text, valid UTF-8 or not, as a date entry.
#include "base/PMString.h"
#include "logic/BRNPackageUtils.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const PMString text(std::string_view(reinterpret_cast<const char*>(data), size));
    volatile bool16 invalid = BRNPackageUtils::IsInvalidDate(text);
    (void)invalid;
    return 0;
}
