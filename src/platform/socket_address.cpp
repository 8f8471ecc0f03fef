#include "platform/socket_address.h"

#include <algorithm>
#include <cstring>

namespace vantorix {

int native_family(AddressFamily family) { return family == AddressFamily::ipv6 ? AF_INET6 : AF_INET; }

NativeAddress to_native(const Endpoint& endpoint) {
  NativeAddress out;
  if (endpoint.address.family == AddressFamily::ipv6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&out.storage);
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(endpoint.port);
    std::memcpy(&address->sin6_addr, endpoint.address.bytes.data(), 16);
    out.size = sizeof(sockaddr_in6);
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&out.storage);
    address->sin_family = AF_INET;
    address->sin_port = htons(endpoint.port);
    std::memcpy(&address->sin_addr, endpoint.address.bytes.data(), 4);
    out.size = sizeof(sockaddr_in);
  }
  return out;
}

std::optional<Endpoint> from_native(const sockaddr* address) {
  Endpoint endpoint;
  if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    endpoint.address.family = AddressFamily::ipv6;
    std::memcpy(endpoint.address.bytes.data(), &v6->sin6_addr, 16);
    endpoint.port = ntohs(v6->sin6_port);
    return endpoint;
  }
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(endpoint.address.bytes.data(), &v4->sin_addr, 4);
    endpoint.port = ntohs(v4->sin_port);
    return endpoint;
  }
  return std::nullopt;
}

std::vector<IpAddress> addresses_of(const addrinfo* answer) {
  std::vector<IpAddress> addresses;
  for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr) continue;
    if (std::optional<Endpoint> endpoint = from_native(entry->ai_addr)) {
      if (std::find(addresses.begin(), addresses.end(), endpoint->address) == addresses.end()) {
        addresses.push_back(endpoint->address);
      }
    }
  }
  return addresses;
}

}  // namespace vantorix
