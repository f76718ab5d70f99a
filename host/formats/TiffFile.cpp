#include "formats/TiffFile.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace TiffFile {

namespace {

constexpr uint16_t kXMPTag = 700;
constexpr uint16_t kUndefined = 7;

struct Order {
    bool little;
    uint16_t Get16(const std::string& b, size_t at) const {
        const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
        return little ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : static_cast<uint16_t>((p[0] << 8) | p[1]);
    }
    uint32_t Get32(const std::string& b, size_t at) const {
        const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
        return little ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24)
                      : (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
    }
    void Put16(std::string& b, size_t at, uint16_t v) const {
        b[at + (little ? 0 : 1)] = static_cast<char>(v & 0xFF);
        b[at + (little ? 1 : 0)] = static_cast<char>(v >> 8);
    }
    void Put32(std::string& b, size_t at, uint32_t v) const {
        for (int i = 0; i < 4; ++i)
            b[at + (little ? i : 3 - i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
};

} // namespace

bool SetPacket(const std::string& in, const std::string& packet, std::string* out) {
    if (in.size() < 8 || packet.empty()) return false;
    Order o{};
    if (in.compare(0, 2, "II") == 0)
        o.little = true;
    else if (in.compare(0, 2, "MM") == 0)
        o.little = false;
    else
        return false;
    if (o.Get16(in, 2) != 42) return false;
    const uint32_t ifd = o.Get32(in, 4);
    if (ifd < 8 || static_cast<uint64_t>(ifd) + 2 > in.size()) return false;
    const uint16_t count = o.Get16(in, ifd);
    const uint64_t ifdEnd = static_cast<uint64_t>(ifd) + 2 + 12ull * count + 4;
    if (count == 0 || ifdEnd > in.size()) return false;

    size_t entry = 0; // offset of the XMP entry, 0 when there is none
    for (uint16_t i = 0; i < count; ++i) {
        const size_t at = ifd + 2 + 12u * i;
        if (o.Get16(in, at) == kXMPTag) {
            entry = at;
            break;
        }
    }
    *out = in;
    if (entry) {
        const uint32_t oldCount = o.Get32(in, entry + 4);
        const uint32_t oldOffset = o.Get32(in, entry + 8);
        const uint16_t type = o.Get16(in, entry + 2);
        // A packet that ended the file is overwritten there; elsewhere it is left as unused bytes.
        size_t at = (out->size() + 1) & ~size_t(1);
        if ((type == 1 || type == kUndefined) && oldCount > 4 &&
            static_cast<uint64_t>(oldOffset) + oldCount == in.size() && oldOffset >= ifdEnd)
            at = oldOffset;
        if (at + packet.size() > 0xFFFFFFFFull) return false;
        out->resize(at, '\0');
        out->append(packet);
        o.Put16(*out, entry + 2, type == 1 ? 1 : kUndefined);
        o.Put32(*out, entry + 4, static_cast<uint32_t>(packet.size()));
        o.Put32(*out, entry + 8, static_cast<uint32_t>(at));
        return true;
    }
    // The first IFD copied to the end with the tag in its place among the sorted tags.
    size_t at = (out->size() + 1) & ~size_t(1);
    out->resize(at, '\0');
    out->append(packet);
    const size_t newIfd = (out->size() + 1) & ~size_t(1);
    if (newIfd + 2 + 12ull * (count + 1) + 4 > 0xFFFFFFFFull) return false;
    out->resize(newIfd, '\0');
    std::string head(2, '\0');
    o.Put16(head, 0, static_cast<uint16_t>(count + 1));
    out->append(head);
    bool put = false;
    std::string mine(12, '\0');
    o.Put16(mine, 0, kXMPTag);
    o.Put16(mine, 2, kUndefined);
    o.Put32(mine, 4, static_cast<uint32_t>(packet.size()));
    o.Put32(mine, 8, static_cast<uint32_t>(at));
    for (uint16_t i = 0; i < count; ++i) {
        const size_t e = ifd + 2 + 12u * i;
        if (!put && o.Get16(in, e) > kXMPTag) {
            out->append(mine);
            put = true;
        }
        out->append(in, e, 12);
    }
    if (!put) out->append(mine);
    out->append(in, ifd + 2 + 12u * count, 4); // the next IFD
    o.Put32(*out, 4, static_cast<uint32_t>(newIfd));
    return true;
}

} // namespace TiffFile
