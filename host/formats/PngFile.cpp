#include "formats/PngFile.h"

#include <zlib.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace PngFile {

namespace {

constexpr std::string_view kSignature{"\x89PNG\r\n\x1A\n", 8};
// Keyword, its NUL, compression flag and method (none), empty language and translated keyword.
constexpr std::string_view kXMPHeader{"XML:com.adobe.xmp\0\0\0\0\0", 22};

uint32_t Get32(const std::string& b, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void Put32(std::string* b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        *b += static_cast<char>((v >> shift) & 0xFF);
}

uint32_t Crc(const char* data, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const uInt n = static_cast<uInt>(size > (1u << 30) ? (1u << 30) : size);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), n);
        data += n;
        size -= n;
    }
    return static_cast<uint32_t>(crc);
}

bool IsXMPChunk(const std::string& b, size_t at, uint32_t length) {
    return b.compare(at + 4, 4, "iTXt") == 0 && length >= 18 &&
           b.compare(at + 8, 18, kXMPHeader.substr(0, 18)) == 0;
}

struct Chunk {
    size_t start;
    uint32_t length;
};

// The chunks up to and including IEND; false when the file is not walked whole.
bool Walk(const std::string& b, std::vector<Chunk>* chunks, bool checkCrc) {
    if (b.compare(0, kSignature.size(), kSignature) != 0) return false;
    for (size_t pos = kSignature.size(); pos + 12 <= b.size();) {
        const uint32_t length = Get32(b, pos);
        if (length > 0x7FFFFFFFu || pos + 12 + static_cast<uint64_t>(length) > b.size()) return false;
        if (checkCrc && Crc(b.data() + pos + 4, 4 + length) != Get32(b, pos + 8 + length)) return false;
        chunks->push_back({pos, length});
        if (b.compare(pos + 4, 4, "IEND") == 0) return true;
        pos += 12 + length;
    }
    return false;
}

} // namespace

bool SetPacket(const std::string& in, const std::string& packet, std::string* out) {
    std::vector<Chunk> chunks;
    if (!Walk(in, &chunks, false) || chunks.empty() || in.compare(chunks[0].start + 4, 4, "IHDR") != 0)
        return false;
    const uint64_t length = kXMPHeader.size() + packet.size();
    if (length > 0x7FFFFFFFu) return false;
    std::string mine;
    Put32(&mine, static_cast<uint32_t>(length));
    mine += "iTXt";
    mine += kXMPHeader;
    mine += packet;
    Put32(&mine, Crc(mine.data() + 4, mine.size() - 4));

    out->clear();
    out->reserve(in.size() + mine.size());
    out->append(kSignature);
    bool put = false;
    for (size_t i = 0; i < chunks.size(); ++i) {
        const Chunk& c = chunks[i];
        if (IsXMPChunk(in, c.start, c.length)) {
            if (!put) *out += mine;
            put = true;
            continue;
        }
        out->append(in, c.start, 12 + c.length);
        if (i == 0 && !put) {
            // After IHDR, unless the file has a packet further on.
            bool later = false;
            for (size_t j = 1; j < chunks.size() && !later; ++j)
                later = IsXMPChunk(in, chunks[j].start, chunks[j].length);
            if (!later) {
                *out += mine;
                put = true;
            }
        }
    }
    // Whatever follows IEND stays too.
    const Chunk& last = chunks.back();
    out->append(in, last.start + 12 + last.length, std::string::npos);
    return true;
}

bool Check(const std::string& bytes, std::string* packet) {
    std::vector<Chunk> chunks;
    if (!Walk(bytes, &chunks, true)) return false;
    if (packet) packet->clear();
    bool found = false;
    for (const Chunk& c : chunks) {
        if (!IsXMPChunk(bytes, c.start, c.length)) continue;
        if (found) return false;
        found = true;
        // Keyword and NUL, then uncompressed (flag and method 0), a language tag and a
        // translated keyword, each ending in NUL.
        const size_t data = c.start + 8, end = data + c.length;
        size_t at = data + 18;
        if (at + 2 > end || bytes[at] != '\0') return false;
        at += 2;
        for (int field = 0; field < 2; ++field) {
            const size_t nul = bytes.find('\0', at);
            if (nul == std::string::npos || nul >= end) return false;
            at = nul + 1;
        }
        if (packet) packet->assign(bytes, at, end - at);
    }
    return true;
}

} // namespace PngFile
