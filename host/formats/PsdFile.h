// A Photoshop file's packet written straight into its image resource 1060 (XMP). The image
// resources section is rebuilt with that one resource replaced (or added at its end); the
// header, the colour-mode data, every other resource, the layers and the image data stay
// byte for byte.
#pragma once

#include <string>

namespace PsdFile {

// `in` with its packet replaced by `packet`. False when `in` is not a PSD or PSB file whose
// resources can be walked.
bool SetPacket(const std::string& in, const std::string& packet, std::string* out);

} // namespace PsdFile
