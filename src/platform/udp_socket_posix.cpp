#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace vantorix {
namespace {

// Kept per thread, like WSAGetLastError: the tests run a server thread of
// their own beside the client.
thread_local int t_last_socket_error = 0;

// The Windows Sockets number of a native error. Most Windows Sockets numbers
// are 10000 + the BSD errno, but Linux numbers its errors differently, so
// each one is named.
int windows_socket_error(int native) {
  switch (native) {
    case EINTR: return 10004;
    case EBADF: return kSocketErrorNotSocket;  // what Windows reports for a closed handle
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EAGAIN: return kSocketErrorWouldBlock;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return kSocketErrorWouldBlock;
#endif
    case EINPROGRESS: return 10036;
    case ENOTSOCK: return kSocketErrorNotSocket;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return kSocketErrorMessageSize;
    case EOPNOTSUPP: return 10045;
    case EADDRINUSE: return kSocketErrorAddressInUse;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    default: return kSocketErrorUnmappedBase + native;
  }
}

void record_errno() { t_last_socket_error = windows_socket_error(errno); }

int native(SocketHandle socket) { return static_cast<int>(socket); }

sockaddr_in to_sockaddr(Ipv4Endpoint endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = htonl(endpoint.address);
  return address;
}

Ipv4Endpoint from_sockaddr(const sockaddr_in& address) {
  return {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

}  // namespace

SocketsStart sockets_start() { return SocketsStart::ready; }

SocketHandle udp_socket_open() {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    record_errno();
    return kNoSocket;
  }
  return fd;
}

bool udp_socket_bind(SocketHandle socket, Ipv4Endpoint local) {
  sockaddr_in address = to_sockaddr(local);
  if (::bind(native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    record_errno();
    return false;
  }
  return true;
}

int udp_send_to(SocketHandle socket, std::span<const std::uint8_t> datagram, Ipv4Endpoint to) {
  sockaddr_in address = to_sockaddr(to);
  ssize_t sent;
  do {
    sent = ::sendto(native(socket), datagram.data(), datagram.size(), 0,
                    reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    record_errno();
    return -1;
  }
  return static_cast<int>(sent);
}

WaitResult udp_wait_readable(SocketHandle socket, int milliseconds) {
  if (socket < 0) {
    // poll() would skip a negative descriptor and sleep the whole time.
    t_last_socket_error = kSocketErrorNotSocket;
    return WaitResult::failed;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  int left = milliseconds;
  for (;;) {
    pollfd entry{native(socket), POLLIN, 0};
    int ready = ::poll(&entry, 1, left < 0 ? 0 : left);
    if (ready > 0) {
      if ((entry.revents & POLLNVAL) != 0) {
        t_last_socket_error = kSocketErrorNotSocket;
        return WaitResult::failed;
      }
      // POLLERR counts as readable: the receive then reports the error.
      return WaitResult::readable;
    }
    if (ready == 0) return WaitResult::timed_out;
    if (errno != EINTR) {
      record_errno();
      return WaitResult::failed;
    }
    // Interrupted by a signal: wait out the rest of the time.
    auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (rest.count() <= 0) return WaitResult::timed_out;
    left = static_cast<int>(rest.count());
  }
}

int udp_receive_from(SocketHandle socket, std::span<std::uint8_t> buffer, Ipv4Endpoint* from) {
  sockaddr_in address{};
  socklen_t address_size = sizeof address;
  ssize_t got;
  // MSG_TRUNC makes the call answer with the datagram's real size, so a
  // datagram that does not fit is refused as a whole (as Windows Sockets
  // does) instead of being taken for a shorter one.
  do {
    address_size = sizeof address;
    got = ::recvfrom(native(socket), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                     reinterpret_cast<sockaddr*>(&address), &address_size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    record_errno();
    return -1;
  }
  if (from != nullptr) *from = from_sockaddr(address);
  if (static_cast<std::size_t>(got) > buffer.size()) {
    t_last_socket_error = kSocketErrorMessageSize;
    return -1;
  }
  return static_cast<int>(got);
}

void udp_socket_close(SocketHandle socket) {
  // shutdown() of an unconnected datagram socket answers ENOTCONN, which
  // changes nothing: the close below is what releases the port.
  ::shutdown(native(socket), SHUT_RDWR);
  if (::close(native(socket)) != 0) record_errno();
}

std::optional<std::uint32_t> resolve_host_name(const char* name) {
  if (name == nullptr || *name == '\0') return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answer = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &answer) != 0 || answer == nullptr) return std::nullopt;
  std::optional<std::uint32_t> address;
  for (addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
      break;
    }
  }
  ::freeaddrinfo(answer);
  return address;
}

std::optional<std::uint16_t> service_port(const char* service, const char* protocol) {
  servent entry{};
  servent* found = nullptr;
  char work[1024];
  if (::getservbyname_r(service, protocol, &entry, work, sizeof work, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  return ntohs(static_cast<std::uint16_t>(found->s_port));
}

std::string local_host_name() {
  char name[512] = {};
  if (::gethostname(name, sizeof name - 1) != 0) {
    record_errno();
    return {};
  }
  return name;
}

int last_socket_error() { return t_last_socket_error; }

void set_last_socket_error(int code) { t_last_socket_error = code; }

std::optional<Ipv4Endpoint> udp_socket_local_endpoint(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t address_size = sizeof address;
  if (::getsockname(native(socket), reinterpret_cast<sockaddr*>(&address), &address_size) != 0) {
    record_errno();
    return std::nullopt;
  }
  if (address.sin_family != AF_INET) return std::nullopt;
  return from_sockaddr(address);
}

}  // namespace vantorix
