#include "formats/PsdFile.h"

#include <cstdint>

namespace PsdFile {

namespace {

constexpr uint16_t kXMPResource = 1060;

uint32_t Get32(const std::string& b, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint16_t Get16(const std::string& b, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Put32(std::string* b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        *b += static_cast<char>((v >> shift) & 0xFF);
}

} // namespace

bool SetPacket(const std::string& in, const std::string& packet, std::string* out) {
    if (in.size() < 34 || in.compare(0, 4, "8BPS") != 0) return false;
    const uint16_t version = Get16(in, 4);
    if (version != 1 && version != 2) return false;
    const uint64_t colourEnd = 30ull + Get32(in, 26);
    if (colourEnd + 4 > in.size()) return false;
    const size_t start = static_cast<size_t>(colourEnd) + 4;
    const uint64_t end = start + static_cast<uint64_t>(Get32(in, colourEnd));
    if (end > in.size()) return false;

    std::string mine = "8BIM";
    mine += static_cast<char>(kXMPResource >> 8);
    mine += static_cast<char>(kXMPResource & 0xFF);
    mine += std::string(2, '\0'); // an empty name, padded to an even length
    Put32(&mine, static_cast<uint32_t>(packet.size()));
    mine += packet;
    if (packet.size() % 2) mine += '\0';

    std::string resources;
    bool put = false;
    for (size_t pos = start; pos < end;) {
        if (pos + 8 > end) return false;
        const bool ours = in.compare(pos, 4, "8BIM") == 0 && Get16(in, pos + 4) == kXMPResource;
        const size_t nameLength = static_cast<unsigned char>(in[pos + 6]);
        const size_t sizeAt = pos + 6 + ((nameLength + 2) & ~size_t(1));
        if (sizeAt + 4 > end) return false;
        const uint64_t next = sizeAt + 4 + ((static_cast<uint64_t>(Get32(in, sizeAt)) + 1) & ~uint64_t(1));
        if (next > end) return false;
        if (!ours)
            resources.append(in, pos, static_cast<size_t>(next) - pos);
        else if (!put) {
            resources += mine;
            put = true;
        }
        pos = static_cast<size_t>(next);
    }
    if (!put) resources += mine;
    if (resources.size() > 0xFFFFFFFFull) return false;
    out->clear();
    out->reserve(in.size() + mine.size());
    out->append(in, 0, static_cast<size_t>(colourEnd));
    Put32(out, static_cast<uint32_t>(resources.size()));
    out->append(resources);
    out->append(in, static_cast<size_t>(end), std::string::npos);
    return true;
}

} // namespace PsdFile
