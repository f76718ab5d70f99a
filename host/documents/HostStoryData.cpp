#include "documents/HostStoryData.h"

#include <filesystem>
#include <string>

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "file:///a%20b" or "file://localhost/a" or a plain path, as a path.
std::string PathOfLocation(const std::string& location) {
    constexpr std::string_view kScheme = "file://";
    if (location.rfind(kScheme, 0) != 0) return location;
    std::string rest = location.substr(kScheme.size());
    if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
            HexValue(rest[i + 2]) >= 0) {
            path.push_back(static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2])));
            i += 2;
        } else {
            path.push_back(rest[i]);
        }
    }
    return path;
}
} // namespace

bool16 HostStoryData::ResolveLinkResource(IDFile* file) const {
    if (fLink.IsEmpty()) return kFalse;
    std::filesystem::path p(PathOfLocation(fLink.GetUTF8String()));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec)) return kFalse;
    if (file) *file = IDFile(p);
    return kTrue;
}
