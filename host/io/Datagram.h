// One UDP datagram to an IPv4 destination given as "ADDR:PORT".
#pragma once

#include <string>

namespace Datagram {
// Splits "ADDR:PORT" (a dotted IPv4 address, a port 1-65535); false for anything else.
bool ParseDestination(const std::string& destination, std::string* address, int* port);
// Sends the bytes once, no options set; false when the destination is not valid or the
// socket could not be made or the send failed.
bool Send(const std::string& destination, const std::string& bytes);
} // namespace Datagram
