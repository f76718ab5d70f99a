#include "formats/JpegFile.h"

#include "xmp/XMPPacketLimits.h"
#include "xmp/XmpText.h"

#include <md5.h>

#include <string_view>
#include <vector>

namespace JpegFile {

namespace {

constexpr std::string_view kXMPSignature{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kExtendedSignature{"http://ns.adobe.com/xmp/extension/\0", 35};
constexpr const char* kXMPNoteNS = "http://ns.adobe.com/xmp/note/";
// A segment's length field counts itself: 65535 bytes at most, 2 of them the length.
constexpr size_t kMaxPayload = 65533;
constexpr size_t kMaxStandard = kMaxPayload - kXMPSignature.size();
// Signature, GUID (32), full length (4), offset (4).
constexpr size_t kExtendedHeader = 35 + 32 + 4 + 4;
constexpr size_t kMaxChunk = kMaxPayload - kExtendedHeader;
constexpr uint32_t kPadding = 2048;

bool Serialize(XmpPtr xmp, uint32_t options, uint32_t padding, std::string* out) {
    xmptext::XmpText text;
    if (!text.get() || !xmp_serialize(xmp, text.get(), options, padding)) return false;
    *out = text.str();
    return true;
}

// The MD5 digest of the bytes as 32 upper-case hex digits: the GUID of an extended packet.
bool Guid(const std::string& bytes, std::string* guid) {
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    MD5Final(digest, &context);
    static const char* hex = "0123456789ABCDEF";
    guid->clear();
    for (unsigned i = 0; i < MD5_DIGEST_LENGTH; ++i) {
        *guid += hex[digest[i] >> 4];
        *guid += hex[digest[i] & 15];
    }
    return true;
}

void PutSegment(std::string* out, std::string_view payload) {
    const size_t length = payload.size() + 2;
    *out += '\xFF';
    *out += '\xE1';
    *out += static_cast<char>(length >> 8);
    *out += static_cast<char>(length & 0xFF);
    out->append(payload);
}

void Put32(std::string* out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        *out += static_cast<char>((v >> shift) & 0xFF);
}

} // namespace

bool Serialize(XmpPtr xmp, std::string* standard, std::string* extended) {
    const uint32_t compact = XMP_SERIAL_USECOMPACTFORMAT;
    extended->clear();
    if (!Serialize(xmp, compact, kPadding, standard)) return false;
    if (standard->size() <= kMaxStandard) return true;
    // Too long for one segment: everything goes to the extended part, and the standard packet
    // only names it.
    XmpPtr whole = xmp_copy(xmp);
    XmpPtr head = xmp_new_empty();
    bool ok = whole && head;
    if (ok) {
        xmp_delete_property(whole, kXMPNoteNS, "HasExtendedXMP");
        std::string guid;
        ok = Serialize(whole, compact | XMP_SERIAL_OMITPACKETWRAPPER, 0, extended) &&
             Guid(*extended, &guid) &&
             xmp_set_property(head, kXMPNoteNS, "HasExtendedXMP", guid.c_str(), 0) &&
             Serialize(head, compact, kPadding, standard) && standard->size() <= kMaxStandard &&
             extended->size() <= 0xFFFFFFFFu;
    }
    if (whole) xmp_free(whole);
    if (head) xmp_free(head);
    return ok;
}

bool SetPacket(const std::string& in, const std::string& standard, const std::string& extended,
               std::string* out) {
    if (standard.size() > kMaxStandard) return false;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
    if (in.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return false;
    // The header segments: [start, end) of each, and whether it is XMP.
    struct Segment {
        size_t start, end;
        bool xmp, standard, leading;
    };
    std::vector<Segment> segments;
    size_t pos = 2;
    size_t image = std::string::npos;
    bool leading = true; // still in the run of APP0/APP1 segments at the start
    while (pos + 2 <= in.size()) {
        if (byte(pos) != 0xFF) return false;
        const unsigned char marker = byte(pos + 1);
        if (marker == 0xFF) { // a fill byte
            segments.push_back({pos, pos + 1, false, false, false});
            pos += 1;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            image = pos;
            break;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            segments.push_back({pos, pos + 2, false, false, false});
            pos += 2;
            continue;
        }
        if (pos + 4 > in.size()) return false;
        const size_t length = (static_cast<size_t>(byte(pos + 2)) << 8) | byte(pos + 3);
        if (length < 2 || pos + 2 + length > in.size()) return false;
        const std::string_view payload(in.data() + pos + 4, length - 2);
        const bool isStandard = marker == 0xE1 && payload.substr(0, kXMPSignature.size()) == kXMPSignature;
        const bool isExtended =
            marker == 0xE1 && payload.substr(0, kExtendedSignature.size()) == kExtendedSignature;
        leading = leading && (marker == 0xE0 || (marker == 0xE1 && !isStandard && !isExtended));
        segments.push_back({pos, pos + 2 + length, isStandard || isExtended, isStandard, leading});
        pos += 2 + length;
    }
    if (image == std::string::npos) return false;

    std::string packet;
    {
        std::string payload(kXMPSignature);
        payload += standard;
        PutSegment(&packet, payload);
        std::string guid;
        if (!extended.empty()) {
            const size_t at = standard.find("HasExtendedXMP");
            if (at == std::string::npos) return false;
            // The GUID as the standard packet names it.
            const size_t q = standard.find_first_of("\">", at);
            if (q == std::string::npos || q + 33 > standard.size()) return false;
            guid = standard.substr(q + 1, 32);
        }
        for (size_t off = 0; off < extended.size(); off += kMaxChunk) {
            std::string chunk(kExtendedSignature);
            chunk += guid;
            Put32(&chunk, static_cast<uint32_t>(extended.size()));
            Put32(&chunk, static_cast<uint32_t>(off));
            chunk.append(extended, off, kMaxChunk);
            PutSegment(&packet, chunk);
        }
    }
    // Where the new segments go: in place of the old standard one, else after the leading
    // APP0/APP1 segments.
    size_t insertAfter = 0; // index into segments of the first segment after the packet
    bool placed = false;
    for (size_t i = 0; i < segments.size(); ++i)
        if (segments[i].standard) {
            insertAfter = i;
            placed = true;
            break;
        }
    if (!placed) {
        insertAfter = 0;
        while (insertAfter < segments.size() && segments[insertAfter].leading)
            ++insertAfter;
    }
    out->clear();
    out->reserve(in.size() + packet.size());
    out->append(in, 0, 2);
    for (size_t i = 0; i <= segments.size(); ++i) {
        if (i == insertAfter) out->append(packet);
        if (i == segments.size()) break;
        if (!segments[i].xmp) out->append(in, segments[i].start, segments[i].end - segments[i].start);
    }
    out->append(in, image, std::string::npos);
    return true;
}

bool ReadPlainLayout(std::string_view in, PlainLayout* layout) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
    *layout = PlainLayout();
    if (in.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return false;
    for (size_t pos = 2;;) {
        if (pos + 4 > in.size() || byte(pos) != 0xFF) return false;
        const unsigned char marker = byte(pos + 1);
        if (marker == 0xDA || marker == 0xD9) {
            layout->image = pos;
            return true;
        }
        // Fill bytes, restart markers and TEM carry no length: not plain.
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) return false;
        const size_t length = (static_cast<size_t>(byte(pos + 2)) << 8) | byte(pos + 3);
        if (length < 2 || pos + 2 + length > in.size()) return false;
        const std::string_view payload = in.substr(pos + 4, length - 2);
        if (marker == 0xE1 && payload.substr(0, kExtendedSignature.size()) == kExtendedSignature) return false;
        if (marker == 0xE1 && payload.substr(0, kXMPSignature.size()) == kXMPSignature) {
            if (layout->xmpStart != std::string::npos) return false;
            layout->xmpStart = pos;
            layout->xmpEnd = pos + 2 + length;
            layout->packetStart = pos + 4 + kXMPSignature.size();
        } else {
            layout->others.push_back({pos, pos + 2 + length});
        }
        pos += 2 + length;
    }
}

bool IsOriginalWithPacket(std::string_view original, std::string_view written, std::string_view packet) {
    PlainLayout before, after;
    if (!ReadPlainLayout(original, &before) || !ReadPlainLayout(written, &after)) return false;
    if (after.xmpStart == std::string::npos ||
        written.substr(after.packetStart, after.xmpEnd - after.packetStart) != packet)
        return false;
    if (before.others.size() != after.others.size() ||
        original.substr(before.image) != written.substr(after.image))
        return false;
    auto bytes = [](std::string_view file, const PlainLayout::Segment& s) {
        return file.substr(s.start, s.end - s.start);
    };
    // Where the packet's segment stands among the others.
    size_t place = 0;
    if (before.xmpStart != std::string::npos) {
        while (place < before.others.size() && before.others[place].start < before.xmpStart)
            ++place;
    } else {
        auto leading = [&](const PlainLayout::Segment& s) {
            const unsigned char marker = static_cast<unsigned char>(original[s.start + 1]);
            return marker == 0xE0 || marker == 0xE1;
        };
        while (place < before.others.size() && leading(before.others[place]))
            ++place;
    }
    size_t placed = 0;
    while (placed < after.others.size() && after.others[placed].start < after.xmpStart)
        ++placed;
    if (place != placed) return false;
    for (size_t i = 0; i < before.others.size(); ++i)
        if (bytes(original, before.others[i]) != bytes(written, after.others[i])) return false;
    return true;
}

bool ExtendedWithinLimits(std::string_view payload, size_t claimed) {
    // Too short to be a part: readers pass over it.
    if (claimed < kExtendedHeader) return true;
    if (payload.size() < kExtendedHeader) return false;
    auto get32 = [&](size_t i) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k)
            v = v << 8 | static_cast<unsigned char>(payload[i + k]);
        return v;
    };
    const uint64_t full = get32(67), offset = get32(71), part = claimed - kExtendedHeader;
    return full <= XMPPacketLimits::kMaxPacketBytes && offset + part <= full;
}

bool ExtendedPacket(const std::string& in, const std::string& guid, std::string* packet) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
    auto get32 = [&](size_t i) {
        return uint32_t(byte(i)) << 24 | uint32_t(byte(i + 1)) << 16 | uint32_t(byte(i + 2)) << 8 |
               byte(i + 3);
    };
    if (in.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8 || guid.size() != 32) return false;
    uint64_t total = 0, covered = 0;
    bool any = false;
    for (size_t pos = 2; pos + 4 <= in.size() && byte(pos) == 0xFF;) {
        const unsigned char marker = byte(pos + 1);
        if (marker == 0xDA || marker == 0xD9) break;
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        const size_t length = (static_cast<size_t>(byte(pos + 2)) << 8) | byte(pos + 3);
        if (length < 2 || pos + 2 + length > in.size()) return false;
        const size_t p = pos + 4, n = length - 2;
        pos += 2 + length;
        if (marker != 0xE1 || n < kExtendedHeader || in.compare(p, 35, kExtendedSignature) != 0 ||
            in.compare(p + 35, 32, guid) != 0)
            continue;
        const uint32_t full = get32(p + 67), offset = get32(p + 71);
        if (!ExtendedWithinLimits(std::string_view(in).substr(p, n), n)) return false;
        if (!any) {
            total = full;
            packet->assign(full, '\0');
            any = true;
        }
        const size_t part = n - kExtendedHeader;
        if (full != total || static_cast<uint64_t>(offset) + part > total) return false;
        packet->replace(offset, part, in, p + kExtendedHeader, part);
        covered += part;
    }
    std::string digest;
    return any && covered == total && Guid(*packet, &digest) && digest == guid;
}

} // namespace JpegFile
