// A GIF's packet written straight into its application extension "XMP DataXMP": the packet's
// bytes, then the 258-byte trailer that lets readers walk them as sub-blocks. The extension
// takes the old one's place (else goes before the trailer); every other block stays byte for
// byte.
#pragma once

#include <string>

namespace GifFile {

// `in` with its packet replaced by `packet` (which must hold no NUL byte). False when `in` is
// not a GIF whose blocks can be walked to its trailer.
bool SetPacket(const std::string& in, const std::string& packet, std::string* out);

} // namespace GifFile
