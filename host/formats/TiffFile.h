// A TIFF's packet written straight into tag 700 (XMLPacket) of its first IFD. The packet's
// bytes go where the old packet was when that was the end of the file, else to the end; a
// first IFD without the tag is copied to the end with it added and the header pointed
// there. Strips, tiles and every other tag stay byte for byte.
#pragma once

#include <string>

namespace TiffFile {

// `in` with its packet replaced by `packet`. False when `in` is not a classic TIFF (BigTIFF
// is not written) whose first IFD lies inside the file, or when the result would pass 4 GB.
bool SetPacket(const std::string& in, const std::string& packet, std::string* out);

} // namespace TiffFile
