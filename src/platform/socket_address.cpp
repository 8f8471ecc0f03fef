#include "platform/socket_address.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace vantorix {

int native_family(AddressFamily family) { return family == AddressFamily::ipv6 ? AF_INET6 : AF_INET; }

static_assert(sizeof(sockaddr_storage) <= sizeof(NativeAddress::bytes) && alignof(sockaddr_storage) <= 8);

NativeAddress to_native(const Endpoint& endpoint) {
  NativeAddress out;
  if (endpoint.address.family == AddressFamily::ipv6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(out.bytes);
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(endpoint.port);
    std::memcpy(&address->sin6_addr, endpoint.address.bytes.data(), 16);
    out.size = static_cast<int>(sizeof(sockaddr_in6));
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(out.bytes);
    address->sin_family = AF_INET;
    address->sin_port = htons(endpoint.port);
    std::memcpy(&address->sin_addr, endpoint.address.bytes.data(), 4);
    out.size = static_cast<int>(sizeof(sockaddr_in));
  }
  return out;
}

std::optional<Endpoint> from_native(const void* native) {
  const auto* address = static_cast<const sockaddr*>(native);
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

// The text form of network.h, the same call on every system.
std::string address_text(const IpAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  // inet_ntop takes a non-const pointer on older Windows headers.
  std::array<std::uint8_t, 16> bytes = address.bytes;
  if (::inet_ntop(native_family(address.family), bytes.data(), text, sizeof text) == nullptr) return {};
  return text;
}

std::vector<IpAddress> addresses_by_getaddrinfo(const char* name) {
  std::vector<IpAddress> addresses;
  if (name == nullptr || *name == '\0') return addresses;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answer = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &answer) != 0 || answer == nullptr) return addresses;
  for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr) continue;
    if (std::optional<Endpoint> endpoint = from_native(entry->ai_addr)) {
      if (std::find(addresses.begin(), addresses.end(), endpoint->address) == addresses.end()) {
        addresses.push_back(endpoint->address);
      }
    }
  }
  ::freeaddrinfo(answer);
  return addresses;
}

}  // namespace vantorix
