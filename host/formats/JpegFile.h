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

// Whether an extended segment's payload (signature, GUID, full length, offset, part; possibly
// cut short at the end of the file, `claimed` being the size its length field gives) stays
// within the packet limits: a full length the packet may have, and a part inside it.
bool ExtendedWithinLimits(std::string_view payload, size_t claimed);

} // namespace JpegFile
