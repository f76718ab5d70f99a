#include "xmp/XMPPacketLimits.h"

#include <vector>

namespace XMPPacketLimits {

bool Check(std::string_view rdf, std::string* why) {
    auto refuse = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (rdf.size() > kMaxPacketBytes)
        return refuse("the XMP packet is larger than " + std::to_string(kMaxPacketBytes) + " bytes");
    // Children counted per open element; the stack's size is the depth.
    std::vector<size_t> children;
    children.reserve(64);
    size_t i = 0;
    const size_t n = rdf.size();
    while (i < n) {
        size_t lt = rdf.find('<', i);
        if (lt == std::string_view::npos || lt + 1 >= n) break;
        const char c = rdf[lt + 1];
        if (c == '!') {
            // Comment, CDATA section or declaration: skip to its end.
            std::string_view end = rdf.substr(lt, 4) == "<!--" ? "-->" : rdf.substr(lt, 9) == "<![CDATA[" ? "]]>" : ">";
            size_t e = rdf.find(end, lt + 2);
            if (e == std::string_view::npos) break;
            i = e + end.size();
            continue;
        }
        if (c == '?') {
            size_t e = rdf.find("?>", lt + 2);
            if (e == std::string_view::npos) break;
            i = e + 2;
            continue;
        }
        // The end of the tag, past quoted attribute values.
        size_t e = lt + 1;
        char quote = 0;
        for (; e < n; ++e) {
            if (quote) {
                if (rdf[e] == quote) quote = 0;
            } else if (rdf[e] == '"' || rdf[e] == '\'') {
                quote = rdf[e];
            } else if (rdf[e] == '>') {
                break;
            }
        }
        if (e >= n) break;
        if (c == '/') {
            if (!children.empty()) children.pop_back();
        } else {
            if (!children.empty() && ++children.back() > kMaxChildren)
                return refuse("an element of the XMP packet holds more than " + std::to_string(kMaxChildren) +
                              " elements");
            if (rdf[e - 1] != '/') {
                children.push_back(0);
                if (children.size() > kMaxDepth)
                    return refuse("the XMP packet is nested deeper than " + std::to_string(kMaxDepth) + " levels");
            }
        }
        i = e + 1;
    }
    return true;
}

} // namespace XMPPacketLimits
