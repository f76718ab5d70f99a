// What a packet may hold before the toolkit is given it. The toolkit's parser goes down one
// call per level of nesting and checks each new property against its siblings, so a crafted
// packet could overflow the stack or take minutes; such packets are refused beforehand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace XMPPacketLimits {

// The most a packet may hold: its size, its nesting of elements and the elements directly
// under one element. Packets written by this host stay far below each.
constexpr size_t kMaxPacketBytes = 64 * 1024 * 1024;
constexpr size_t kMaxDepth = 256;
constexpr size_t kMaxChildren = 10000;

// True when the packet text stays within the limits; otherwise false and, when asked, why.
// The scan is of the markup only (one pass, no allocation per element); whether the text is
// well-formed is for the parser to say.
bool Check(std::string_view rdf, std::string* why = nullptr);

} // namespace XMPPacketLimits
