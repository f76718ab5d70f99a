// What the program tells of layout packages without the zip library.
#include "formats/IdmlPackage.h"

#include <cstdio>
#include <cstring>

namespace IdmlPackage {

bool StartsAsZip(const std::filesystem::path& file) {
    char magic[4] = {};
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return false;
    const size_t n = std::fread(magic, 1, sizeof magic, f);
    std::fclose(f);
    return n == sizeof magic && std::memcmp(magic, "PK\3\4", 4) == 0;
}

} // namespace IdmlPackage
