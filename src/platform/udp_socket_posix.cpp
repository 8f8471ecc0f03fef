#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/native.h"
#include "platform/socket_address.h"

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
    case ECONNRESET: return kSocketErrorConnectionReset;
    case ENOBUFS: return 10055;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return kSocketErrorConnectionRefused;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    default: return kSocketErrorUnmappedBase + native;
  }
}

void record_errno() { t_last_socket_error = windows_socket_error(errno); }

int native(SocketHandle socket) { return static_cast<int>(socket); }

// recv() of one datagram without blocking. MSG_TRUNC makes the call answer
// with the datagram's real size, so a datagram that does not fit is refused
// as a whole (as Windows Sockets does) instead of being taken for a shorter one.
int receive_now(SocketHandle socket, std::span<std::uint8_t> buffer, sockaddr_storage* from, socklen_t* from_size,
                int flags = MSG_DONTWAIT) {
  ssize_t got;
  do {
    if (from_size != nullptr) *from_size = sizeof *from;
    got = ::recvfrom(native(socket), buffer.data(), buffer.size(), flags | MSG_TRUNC,
                     reinterpret_cast<sockaddr*>(from), from_size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    record_errno();
    return -1;
  }
  if (static_cast<std::size_t>(got) > buffer.size()) {
    t_last_socket_error = kSocketErrorMessageSize;
    return -1;
  }
  return static_cast<int>(got);
}

// The receive time-out (SO_RCVTIMEO) each socket has, so that a wait for a
// reply is one blocking receive and the option is set again only when it
// must change. Descriptors are reused: closing a socket forgets its entry.
struct ReceiveTimeouts {
  struct Entry {
    int fd = -1;
    int milliseconds = 0;
  };
  std::array<Entry, 16> entries;
};

ReceiveTimeouts& receive_timeouts() {
  static ReceiveTimeouts timeouts;
  return timeouts;
}

ReceiveTimeouts::Entry& timeout_entry(int fd) {
  ReceiveTimeouts& timeouts = receive_timeouts();
  for (ReceiveTimeouts::Entry& entry : timeouts.entries) {
    if (entry.fd == fd) return entry;
  }
  for (ReceiveTimeouts::Entry& entry : timeouts.entries) {
    if (entry.fd < 0) return entry;
  }
  return timeouts.entries[static_cast<std::size_t>(fd) % timeouts.entries.size()];
}

// Waits shorter than this are left to poll(), whose timer is exact.
constexpr int kShortestTimedReceiveMs = 100;

// The receive time-out that ends a blocking receive before `milliseconds`
// for certain: the kernel's timer wheel may fire a long time-out up to an
// eighth late, and a jiffy more.
int early_timeout(int milliseconds) { return milliseconds / 8 * 7 - 10; }

// Makes a blocking receive on `fd` give up a little before `milliseconds`
// (at least kShortestTimedReceiveMs), never after it, and not so early that
// the caller's loop would spin. False when the option cannot be set.
bool set_receive_timeout(int fd, int milliseconds) {
  const int wanted = early_timeout(milliseconds);
  ReceiveTimeouts::Entry& entry = timeout_entry(fd);
  // A few milliseconds more than wanted stay well inside the margin.
  if (entry.fd == fd && entry.milliseconds <= wanted + 5 && entry.milliseconds * 2 >= wanted) return true;
  milliseconds = wanted;
  timeval limit{};
  limit.tv_sec = milliseconds / 1000;
  limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
    entry.fd = -1;
    return false;
  }
  entry = {fd, milliseconds};
  return true;
}

void forget_receive_timeout(int fd) {
  for (ReceiveTimeouts::Entry& entry : receive_timeouts().entries) {
    if (entry.fd == fd) entry.fd = -1;
  }
}

}  // namespace

SocketsStart sockets_start() { return SocketsStart::ready; }

SocketHandle udp_socket_open(AddressFamily family) {
  int fd = ::socket(native_family(family), SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    record_errno();
    return kNoSocket;
  }
  return fd;
}

bool udp_socket_bind(SocketHandle socket, const Endpoint& local) {
  const NativeAddress address = to_native(local);
  if (::bind(native(socket), address.as<sockaddr>(), static_cast<socklen_t>(address.size)) != 0) {
    record_errno();
    return false;
  }
  return true;
}

bool udp_socket_connect(SocketHandle socket, const Endpoint& peer) {
  const NativeAddress address = to_native(peer);
  if (::connect(native(socket), address.as<sockaddr>(), static_cast<socklen_t>(address.size)) != 0) {
    record_errno();
    return false;
  }
  return true;
}

int udp_send(SocketHandle socket, std::span<const std::uint8_t> datagram) {
  ssize_t sent;
  do {
    sent = ::send(native(socket), datagram.data(), datagram.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    record_errno();
    return -1;
  }
  return static_cast<int>(sent);
}

int udp_send_to(SocketHandle socket, std::span<const std::uint8_t> datagram, const Endpoint& to) {
  const NativeAddress address = to_native(to);
  ssize_t sent;
  do {
    sent = ::sendto(native(socket), datagram.data(), datagram.size(), MSG_NOSIGNAL, address.as<sockaddr>(), static_cast<socklen_t>(address.size));
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

int udp_wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds) {
  std::vector<pollfd> entries;
  entries.reserve(sockets.size());
  for (const SocketHandle socket : sockets) entries.push_back({native(socket), POLLIN, 0});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  int left = milliseconds;
  for (;;) {
    const int ready = ::poll(entries.data(), entries.size(), left < 0 ? 0 : left);
    if (ready > 0) {
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].revents != 0) return static_cast<int>(i);
      }
    }
    if (ready == 0) return -1;
    if (ready < 0 && errno != EINTR) {
      record_errno();
      return -2;
    }
    auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (rest.count() <= 0) return -1;
    left = static_cast<int>(rest.count());
  }
}

Received udp_receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds) {
  if (milliseconds >= kShortestTimedReceiveMs && socket >= 0 && set_receive_timeout(native(socket), milliseconds)) {
    // One call waits and receives; a time-out (a little early) comes back
    // as EAGAIN, and the caller waits out the rest.
    const int got = receive_now(socket, buffer, nullptr, nullptr, 0);
    if (got < 0 && last_socket_error() == kSocketErrorWouldBlock) return {0, true};
    return {got, false};
  }
  // A failed wait still tries the receive, which never blocks: it reports
  // the socket's error.
  if (udp_wait_readable(socket, milliseconds) == WaitResult::timed_out) return {0, true};
  const int got = receive_now(socket, buffer, nullptr, nullptr);
  if (got < 0 && last_socket_error() == kSocketErrorWouldBlock) return {0, true};
  return {got, false};
}

int udp_receive_from(SocketHandle socket, std::span<std::uint8_t> buffer, Endpoint* from) {
  sockaddr_storage address{};
  socklen_t address_size = sizeof address;
  const int got = receive_now(socket, buffer, &address, &address_size);
  if (from != nullptr && address_size > 0) {
    if (auto sender = from_native(reinterpret_cast<const sockaddr*>(&address))) *from = *sender;
  }
  return got;
}

void udp_socket_close(SocketHandle socket) {
  // shutdown() of an unconnected datagram socket answers ENOTCONN, which
  // changes nothing: the close below is what releases the port.
  ::shutdown(native(socket), SHUT_RDWR);
  forget_receive_timeout(native(socket));
  if (::close(native(socket)) != 0) record_errno();
}

std::vector<IpAddress> resolve_host_addresses(const char* name) {
  return addresses_by_getaddrinfo(name);
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

void set_socket_error_from_native(int native_error) { t_last_socket_error = windows_socket_error(native_error); }

void set_last_socket_error(int code) { t_last_socket_error = code; }

std::optional<Endpoint> udp_socket_local_endpoint(SocketHandle socket) {
  sockaddr_storage address{};
  socklen_t address_size = sizeof address;
  if (::getsockname(native(socket), reinterpret_cast<sockaddr*>(&address), &address_size) != 0) {
    record_errno();
    return std::nullopt;
  }
  return from_native(reinterpret_cast<const sockaddr*>(&address));
}

}  // namespace vantorix
