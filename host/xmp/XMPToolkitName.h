// The toolkit's name in a packet's x:xmpmeta element (x:xmptk, or x:xaptk in older packets).
// The toolkit writes its own name there whenever it serializes, but which program wrote the
// packet is the file's own metadata: every writer puts back the name the file had.
#pragma once

#include <string>

namespace XMPToolkitName {

// Replaces the toolkit name in text by the one in old (the packet the file held before).
// Without a name in old, the name is left out. With keepLength the padding before the
// packet's end makes up the difference in length; false when it cannot, text unchanged.
// Without a name in text there is nothing to replace: true unless keepLength.
bool Keep(std::string* text, const std::string& old, bool keepLength);

} // namespace XMPToolkitName
