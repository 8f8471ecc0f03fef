#include "platform/udp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/socket_address.h"

namespace vantorix {
namespace {

// Kept per thread, like WSAGetLastError, but changed only by a failing socket
// call: WSAGetLastError is the thread's GetLastError, which file and other
// calls overwrite in between.
thread_local int t_last_socket_error = 0;

// Windows Sockets numbers are the error numbers themselves.
void record_error() { t_last_socket_error = ::WSAGetLastError(); }

SOCKET native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// Windows Sockets 2.2, started once for the process and never stopped: the
// system releases it when the process ends.
SocketsStart start_once() {
  static const SocketsStart started = [] {
    WSADATA data{};
    const int failed = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (failed != 0) {
      t_last_socket_error = failed;  // WSAStartup answers with the error itself
      return SocketsStart::failed;
    }
    return data.wVersion == MAKEWORD(2, 2) ? SocketsStart::ready : SocketsStart::other_version;
  }();
  return started;
}

// select() for `count` sockets: the index of one that is readable, or has
// an error pending, within `milliseconds` (0: only looks); -1 when none is,
// -2 when select() failed.
int select_readable(const SOCKET* sockets, std::size_t count, int milliseconds) {
  fd_set readable;
  fd_set failed;
  FD_ZERO(&readable);
  FD_ZERO(&failed);
  for (std::size_t i = 0; i < count; ++i) {
    FD_SET(sockets[i], &readable);
    FD_SET(sockets[i], &failed);
  }
  timeval limit{};
  const int wait = milliseconds > 0 ? milliseconds : 0;
  limit.tv_sec = wait / 1000;
  limit.tv_usec = (wait % 1000) * 1000;
  // The first argument is ignored by Windows Sockets.
  const int ready = ::select(0, &readable, nullptr, &failed, &limit);
  if (ready == SOCKET_ERROR) {
    record_error();
    return -2;
  }
  // An error waiting on a socket counts as readable: the receive reports it.
  for (std::size_t i = 0; ready > 0 && i < count; ++i) {
    if (FD_ISSET(sockets[i], &readable) || FD_ISSET(sockets[i], &failed)) return static_cast<int>(i);
  }
  return -1;
}

WaitResult wait_readable(SOCKET socket, int milliseconds) {
  const int ready = select_readable(&socket, 1, milliseconds);
  return ready == -2 ? WaitResult::failed : ready >= 0 ? WaitResult::readable : WaitResult::timed_out;
}

// recvfrom() of one datagram without blocking. Windows Sockets refuses a
// datagram that does not fit whole (WSAEMSGSIZE, the datagram consumed).
int receive_now(SocketHandle socket, std::span<std::uint8_t> buffer, sockaddr_storage* from, int* from_size) {
  // The socket stays blocking for sends, so a receive looks first. Only this
  // one thread receives on it, so what select() saw is still there.
  const WaitResult state = wait_readable(native(socket), 0);
  if (state == WaitResult::failed) return -1;
  if (state == WaitResult::timed_out) {
    t_last_socket_error = kSocketErrorWouldBlock;
    return -1;
  }
  if (from_size != nullptr) *from_size = sizeof *from;
  const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), 0x7FFFFFFF));
  const int got = ::recvfrom(native(socket), reinterpret_cast<char*>(buffer.data()), size, 0,
                             reinterpret_cast<sockaddr*>(from), from_size);
  if (got == SOCKET_ERROR) {
    record_error();
    return -1;
  }
  return got;
}

}  // namespace

SocketsStart sockets_start() { return start_once(); }

SocketHandle udp_socket_open(AddressFamily family) {
  if (start_once() == SocketsStart::failed) return kNoSocket;
  // Not inherited by child processes, as SOCK_CLOEXEC on POSIX systems.
  const SOCKET socket =
      ::WSASocketW(native_family(family), SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) {
    record_error();
    return kNoSocket;
  }
  return static_cast<SocketHandle>(socket);
}

bool udp_socket_bind(SocketHandle socket, const Endpoint& local) {
  const NativeAddress address = to_native(local);
  if (::bind(native(socket), address.as<sockaddr>(), address.size) == SOCKET_ERROR) {
    record_error();
    return false;
  }
  return true;
}

bool udp_socket_connect(SocketHandle socket, const Endpoint& peer) {
  const NativeAddress address = to_native(peer);
  if (::connect(native(socket), address.as<sockaddr>(), address.size) == SOCKET_ERROR) {
    record_error();
    return false;
  }
  return true;
}

int udp_send(SocketHandle socket, std::span<const std::uint8_t> datagram) {
  const int size = static_cast<int>(std::min<std::size_t>(datagram.size(), 0x7FFFFFFF));
  const int sent = ::send(native(socket), reinterpret_cast<const char*>(datagram.data()), size, 0);
  if (sent == SOCKET_ERROR) {
    record_error();
    return -1;
  }
  return sent;
}

int udp_send_to(SocketHandle socket, std::span<const std::uint8_t> datagram, const Endpoint& to) {
  const NativeAddress address = to_native(to);
  const int size = static_cast<int>(std::min<std::size_t>(datagram.size(), 0x7FFFFFFF));
  const int sent =
      ::sendto(native(socket), reinterpret_cast<const char*>(datagram.data()), size, 0, address.as<sockaddr>(), address.size);
  if (sent == SOCKET_ERROR) {
    record_error();
    return -1;
  }
  return sent;
}

WaitResult udp_wait_readable(SocketHandle socket, int milliseconds) {
  if (socket == kNoSocket) {
    t_last_socket_error = kSocketErrorNotSocket;
    return WaitResult::failed;
  }
  return wait_readable(native(socket), milliseconds);
}

int udp_wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds) {
  std::vector<SOCKET> natives;
  natives.reserve(sockets.size());
  for (const SocketHandle socket : sockets) natives.push_back(native(socket));
  return select_readable(natives.data(), natives.size(), milliseconds);
}

Received udp_receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds) {
  // A failed wait still tries the receive, which never blocks: it reports
  // the socket's error.
  if (udp_wait_readable(socket, milliseconds) == WaitResult::timed_out) return {0, true};
  const int got = receive_now(socket, buffer, nullptr, nullptr);
  if (got < 0 && last_socket_error() == kSocketErrorWouldBlock) return {0, true};
  return {got, false};
}

int udp_receive_from(SocketHandle socket, std::span<std::uint8_t> buffer, Endpoint* from) {
  sockaddr_storage address{};
  int address_size = sizeof address;
  const int got = receive_now(socket, buffer, &address, &address_size);
  // A refused datagram still names its sender.
  if (from != nullptr && address.ss_family != 0) {
    if (auto sender = from_native(reinterpret_cast<const sockaddr*>(&address))) *from = *sender;
  }
  return got;
}

void udp_socket_close(SocketHandle socket) {
  // shutdown() of an unconnected datagram socket answers WSAENOTCONN, which
  // changes nothing: closesocket() is what releases the port.
  ::shutdown(native(socket), SD_BOTH);
  if (::closesocket(native(socket)) == SOCKET_ERROR) record_error();
}

std::vector<IpAddress> resolve_host_addresses(const char* name) {
  if (start_once() == SocketsStart::failed) return {};
  return addresses_by_getaddrinfo(name);
}

std::optional<std::uint16_t> service_port(const char* service, const char* protocol) {
  if (start_once() == SocketsStart::failed) return std::nullopt;
  // The entry lives in storage of this thread until its next such call.
  const servent* found = ::getservbyname(service, protocol);
  if (found == nullptr) return std::nullopt;
  return ntohs(static_cast<std::uint16_t>(found->s_port));
}

std::string local_host_name() {
  if (start_once() == SocketsStart::failed) return {};
  char name[512] = {};
  if (::gethostname(name, sizeof name - 1) == SOCKET_ERROR) {
    record_error();
    return {};
  }
  return name;
}

int last_socket_error() { return t_last_socket_error; }

void set_last_socket_error(int code) { t_last_socket_error = code; }

std::optional<Endpoint> udp_socket_local_endpoint(SocketHandle socket) {
  sockaddr_storage address{};
  int address_size = sizeof address;
  if (::getsockname(native(socket), reinterpret_cast<sockaddr*>(&address), &address_size) == SOCKET_ERROR) {
    record_error();
    return std::nullopt;
  }
  return from_native(reinterpret_cast<const sockaddr*>(&address));
}

}  // namespace vantorix
