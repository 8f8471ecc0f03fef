// Socket addresses in the form the system's socket calls take, shared by the
// platform's socket code on every system (the calls are the same BSD ones).
// Only src/platform/ includes this header; the system's socket headers are
// the implementation's business.
#pragma once

#include <optional>
#include <vector>

#include "platform/network.h"

namespace vantorix {

/// AF_INET or AF_INET6.
int native_family(AddressFamily family);

/// A socket address of either family (a sockaddr_storage), with its size.
struct NativeAddress {
  alignas(8) unsigned char bytes[128] = {};
  int size = 0;
  /// The address as the system's type, such as sockaddr.
  template <class T>
  const T* as() const {
    return reinterpret_cast<const T*>(bytes);
  }
};

NativeAddress to_native(const Endpoint& endpoint);

/// The endpoint of an IPv4 or IPv6 socket address (a sockaddr); nothing for
/// another family.
std::optional<Endpoint> from_native(const void* address);

/// The distinct IPv4 and IPv6 addresses getaddrinfo() gives for `name`, in
/// its order; none when the name does not resolve or is empty. On Windows the
/// caller has started Windows Sockets first.
std::vector<IpAddress> addresses_by_getaddrinfo(const char* name);

}  // namespace vantorix
