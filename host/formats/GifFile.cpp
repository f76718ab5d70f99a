#include "formats/GifFile.h"

#include <string_view>

namespace GifFile {

namespace {

constexpr std::string_view kXMPApplication = "XMP DataXMP";

// The end of the sub-blocks starting at pos (just past their zero terminator), or npos.
size_t SkipSubBlocks(const std::string& b, size_t pos) {
    while (pos < b.size()) {
        const size_t n = static_cast<unsigned char>(b[pos]);
        if (n == 0) return pos + 1;
        pos += 1 + n;
    }
    return std::string::npos;
}

} // namespace

bool SetPacket(const std::string& in, const std::string& packet, std::string* out) {
    if (in.size() < 13 || (in.compare(0, 6, "GIF87a") != 0 && in.compare(0, 6, "GIF89a") != 0) ||
        packet.find('\0') != std::string::npos)
        return false;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
    size_t pos = 13;
    if (byte(10) & 0x80) pos += 3u * (2u << (byte(10) & 7));
    size_t oldStart = std::string::npos, oldEnd = 0, trailer = std::string::npos;
    while (pos < in.size()) {
        const unsigned char kind = byte(pos);
        if (kind == 0x3B) {
            trailer = pos;
            break;
        }
        if (kind == 0x21) {
            if (pos + 2 > in.size()) return false;
            const size_t end = SkipSubBlocks(in, pos + 2);
            if (end == std::string::npos) return false;
            const bool xmp = byte(pos + 1) == 0xFF && pos + 3 + kXMPApplication.size() <= in.size() &&
                             byte(pos + 2) == kXMPApplication.size() &&
                             in.compare(pos + 3, kXMPApplication.size(), kXMPApplication) == 0;
            if (xmp && oldStart == std::string::npos) {
                oldStart = pos;
                oldEnd = end;
            } else if (xmp) {
                return false; // two packets: not ours to choose
            }
            pos = end;
        } else if (kind == 0x2C) {
            if (pos + 10 > in.size()) return false;
            size_t p = pos + 10;
            if (byte(pos + 9) & 0x80) p += 3u * (2u << (byte(pos + 9) & 7));
            if (p + 1 > in.size()) return false;
            const size_t end = SkipSubBlocks(in, p + 1); // after the LZW code size
            if (end == std::string::npos) return false;
            pos = end;
        } else {
            return false;
        }
    }
    if (trailer == std::string::npos) return false;

    std::string mine = "\x21\xFF";
    mine += static_cast<char>(kXMPApplication.size());
    mine += kXMPApplication;
    mine += packet;
    // The magic trailer: read as sub-blocks, any byte of the packet leads through it to the
    // terminator.
    mine += '\x01';
    for (int v = 0xFF; v >= 0; --v)
        mine += static_cast<char>(v);
    mine += '\0';

    const size_t at = oldStart != std::string::npos ? oldStart : trailer;
    const size_t resume = oldStart != std::string::npos ? oldEnd : trailer;
    out->clear();
    out->reserve(in.size() + mine.size());
    out->append(in, 0, at);
    out->append(mine);
    out->append(in, resume, std::string::npos);
    // Extensions are GIF89a.
    out->replace(0, 6, "GIF89a");
    return true;
}

} // namespace GifFile
