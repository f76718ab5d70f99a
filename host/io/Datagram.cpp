#include "io/Datagram.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Datagram {

bool ParseDestination(const std::string& destination, std::string* address, int* port) {
    const size_t colon = destination.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == destination.size()) return false;
    const std::string addr = destination.substr(0, colon);
    const std::string portText = destination.substr(colon + 1);
    if (portText.find_first_not_of("0123456789") != std::string::npos || portText.size() > 5) return false;
    const int p = std::atoi(portText.c_str());
    in_addr probe{};
    if (p < 1 || p > 65535 || inet_pton(AF_INET, addr.c_str(), &probe) != 1) return false;
    if (address) *address = addr;
    if (port) *port = p;
    return true;
}

bool Send(const std::string& destination, const std::string& bytes) {
    std::string address;
    int port = 0;
    if (!ParseDestination(destination, &address, &port)) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    const int s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s < 0) return false;
    const ssize_t sent =
        sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    close(s);
    return sent == static_cast<ssize_t>(bytes.size());
}

} // namespace Datagram
