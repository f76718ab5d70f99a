// A PNG's packet written straight into its iTXt chunk "XML:com.adobe.xmp", uncompressed, with
// its true length and CRC. The chunk takes the old one's place (else follows IHDR); every
// other chunk stays byte for byte.
#pragma once

#include <string>

namespace PngFile {

// `in` with its packet replaced by `packet`. False when `in` is not a PNG whose chunks can be
// walked to IEND.
bool SetPacket(const std::string& in, const std::string& packet, std::string* out);

// Whether `bytes` is a whole PNG: the signature, then chunks whose lengths and CRCs are right,
// up to IEND. `packet` (when given) takes the text of its one XMP chunk, empty when none.
bool Check(const std::string& bytes, std::string* packet = nullptr);

} // namespace PngFile
