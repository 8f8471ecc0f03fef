// Socket addresses in the form the system's socket calls take, shared by the
// platform's socket code on every system (the calls are the same BSD ones).
// Only src/platform/ includes this header.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <optional>
#include <vector>

#include "platform/udp_socket.h"

namespace vantorix {

#ifdef _WIN32
using NativeAddressSize = int;
#else
using NativeAddressSize = socklen_t;
#endif

/// AF_INET or AF_INET6.
int native_family(AddressFamily family);

/// A socket address of either family, with its size.
struct NativeAddress {
  sockaddr_storage storage{};
  NativeAddressSize size = 0;
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

NativeAddress to_native(const Endpoint& endpoint);

/// The endpoint of an IPv4 or IPv6 socket address; nothing for another family.
std::optional<Endpoint> from_native(const sockaddr* address);

/// The distinct addresses of a getaddrinfo() answer, in its order.
std::vector<IpAddress> addresses_of(const addrinfo* answer);

}  // namespace vantorix
