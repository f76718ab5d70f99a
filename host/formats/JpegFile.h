// A JPEG's packet written straight into its header segments: the standard XMP segment
// (APP1, "http://ns.adobe.com/xap/1.0/") and, for a packet longer than one segment holds,
// extended XMP segments ("http://ns.adobe.com/xmp/extension/") with the standard packet
// naming them by xmpNote:HasExtendedXMP. Every other segment and the image data stay byte
// for byte.
#pragma once

#include <exempi/xmp.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace JpegFile {

// The packet as the segments will hold it: `standard` wrapped and padded, and `extended`
// (bare RDF, empty when everything fits into the standard segment). False when the toolkit
// fails to serialize.
bool Serialize(XmpPtr xmp, std::string* standard, std::string* extended);

// `in` with its XMP segments replaced by ones holding the packet: the new standard segment
// where the old one was (else after the leading APP0/APP1 segments), extended ones after it.
// False when `in` is not a JPEG whose header segments can be walked to the image data.
bool SetPacket(const std::string& in, const std::string& standard, const std::string& extended,
               std::string* out);

// The extended packet that the JPEG's extended segments for `guid` hold, put together by
// their offsets. False when there is none, or the parts do not cover it exactly or do not
// digest to the GUID.
bool ExtendedPacket(const std::string& jpeg, const std::string& guid, std::string* packet);

// The header of a JPEG laid out plainly: the start marker, then marker segments that each
// carry a length, up to the start of scan (or the end marker), with at most one standard XMP
// segment and no extended one. Such a file's packet can be replaced by copying every other
// byte; anything else (fill bytes, markers without a length, a truncated segment, a second
// packet, extended XMP) is for the toolkit's way.
struct PlainLayout {
    struct Segment {
        size_t start, end; // [start, end) in the file, marker included
    };
    std::vector<Segment> others; // every header segment but the XMP one, in file order
    size_t xmpStart = std::string::npos, xmpEnd = std::string::npos; // the XMP segment, when any
    size_t packetStart = std::string::npos; // its packet, after the signature, up to xmpEnd
    size_t image = 0; // where the scan (or the end marker) starts: everything from here on
};
bool ReadPlainLayout(std::string_view jpeg, PlainLayout* layout);

// Whether `written` is `original` with its XMP segment holding `packet` instead: the same
// other header segments in the same order, byte for byte, the same image data, and one standard
// XMP segment whose packet is exactly `packet`, where the old one was (or after the leading
// APP0/APP1 segments when there was none).
bool IsOriginalWithPacket(std::string_view original, std::string_view written, std::string_view packet);

// Whether an extended segment's payload (signature, GUID, full length, offset, part; possibly
// cut short at the end of the file, `claimed` being the size its length field gives) stays
// within the packet limits: a full length the packet may have, and a part inside it.
bool ExtendedWithinLimits(std::string_view payload, size_t claimed);

} // namespace JpegFile
