#include "xmp/XMPToolkitName.h"

namespace XMPToolkitName {

bool Keep(std::string* text, const std::string& old, bool keepLength) {
    auto attribute = [](const std::string& s, size_t* start, size_t* end) {
        for (const char* name : {" x:xmptk=", " x:xaptk="}) {
            const size_t at = s.find(name);
            const size_t head = s.find("<x:xmpmeta");
            if (at == std::string::npos || head == std::string::npos || at < head || at > s.find('>', head))
                continue;
            const size_t q = at + std::char_traits<char>::length(name);
            if (q >= s.size() || (s[q] != '"' && s[q] != '\'')) continue;
            const size_t close = s.find(s[q], q + 1);
            if (close == std::string::npos) continue;
            *start = at;
            *end = close + 1;
            return true;
        }
        return false;
    };
    size_t ns = 0, ne = 0, os = 0, oe = 0;
    if (!attribute(*text, &ns, &ne)) return !keepLength;
    const std::string keep = attribute(old, &os, &oe) ? old.substr(os, oe - os) : std::string();
    std::string result = *text;
    result.replace(ns, ne - ns, keep);
    if (keepLength && result.size() != text->size()) {
        const size_t end = result.rfind("<?xpacket end");
        if (end == std::string::npos) return false;
        if (result.size() < text->size()) {
            result.insert(end, text->size() - result.size(), ' ');
        } else {
            const size_t extra = result.size() - text->size();
            if (end < extra || result.find_first_not_of(" \t\r\n", end - extra) != end) return false;
            result.erase(end - extra, extra);
        }
    }
    *text = std::move(result);
    return true;
}

} // namespace XMPToolkitName
