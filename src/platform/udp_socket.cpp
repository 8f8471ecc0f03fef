// The parts of udp_socket.h that are the same on every platform.
#include "platform/udp_socket.h"

namespace vantorix {

IpAddress IpAddress::v4(std::uint32_t host_order) {
  IpAddress address;
  address.bytes[0] = static_cast<std::uint8_t>(host_order >> 24);
  address.bytes[1] = static_cast<std::uint8_t>(host_order >> 16);
  address.bytes[2] = static_cast<std::uint8_t>(host_order >> 8);
  address.bytes[3] = static_cast<std::uint8_t>(host_order);
  return address;
}

std::uint32_t IpAddress::v4_host_order() const {
  if (family != AddressFamily::ipv4) return 0;
  return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
         (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
}

IpAddress loopback_address(AddressFamily family) {
  if (family == AddressFamily::ipv4) return IpAddress::v4(0x7F000001);
  IpAddress address;
  address.family = AddressFamily::ipv6;
  address.bytes[15] = 1;
  return address;
}

std::string endpoint_text(const Endpoint& endpoint) {
  const std::string address = address_text(endpoint.address);
  const std::string port = std::to_string(endpoint.port);
  if (endpoint.address.family == AddressFamily::ipv6) return "[" + address + "]:" + port;
  return address + ":" + port;
}

}  // namespace vantorix
