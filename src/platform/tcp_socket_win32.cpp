#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/socket_address.h"

namespace vantorix {
namespace {

SOCKET native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// Windows Sockets numbers are the error numbers themselves.
void record_error() { set_last_socket_error(::WSAGetLastError()); }

// select() for one socket and one event. A connection that failed is not
// writable but shows in the exception set, so that set is always watched:
// a failure then counts as ready, and the next call on the socket reports it.
WaitResult wait_for(SOCKET socket, SocketEvent event, int milliseconds) {
  fd_set wanted;
  fd_set failed;
  FD_ZERO(&wanted);
  FD_ZERO(&failed);
  FD_SET(socket, &wanted);
  FD_SET(socket, &failed);
  timeval limit{};
  const int wait = milliseconds > 0 ? milliseconds : 0;
  limit.tv_sec = wait / 1000;
  limit.tv_usec = (wait % 1000) * 1000;
  // The first argument is ignored by Windows Sockets.
  const int ready = event == SocketEvent::readable ? ::select(0, &wanted, nullptr, &failed, &limit)
                                                   : ::select(0, nullptr, &wanted, &failed, &limit);
  if (ready == SOCKET_ERROR) {
    record_error();
    return WaitResult::failed;
  }
  return ready > 0 ? WaitResult::readable : WaitResult::timed_out;
}

}  // namespace

SocketHandle tcp_connect(const Endpoint& peer, int milliseconds) {
  if (sockets_start() == SocketsStart::failed) return kNoSocket;
  // Not inherited by child processes, as SOCK_CLOEXEC on POSIX systems.
  const SOCKET socket =
      ::WSASocketW(native_family(peer.address.family), SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) {
    record_error();
    return kNoSocket;
  }
  const BOOL on = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  u_long non_blocking = 1;
  if (::ioctlsocket(socket, FIONBIO, &non_blocking) == SOCKET_ERROR) {
    record_error();
    ::closesocket(socket);
    return kNoSocket;
  }
  const NativeAddress address = to_native(peer);
  if (::connect(socket, address.as<sockaddr>(), address.size) == SOCKET_ERROR) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) {
      record_error();
      ::closesocket(socket);
      return kNoSocket;
    }
    const WaitResult waited = wait_for(socket, SocketEvent::writable, milliseconds);
    if (waited != WaitResult::readable) {
      if (waited == WaitResult::timed_out) set_last_socket_error(kSocketErrorTimedOut);
      ::closesocket(socket);
      return kNoSocket;
    }
    int error = 0;
    int error_size = sizeof error;
    ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &error_size);
    if (error != 0) {
      set_last_socket_error(error);
      ::closesocket(socket);
      return kNoSocket;
    }
  }
  return static_cast<SocketHandle>(socket);
}

WaitResult socket_wait(SocketHandle socket, SocketEvent event, int milliseconds) {
  return wait_for(native(socket), event, milliseconds);
}

// A SOCKET is a pointer-sized handle, but its values fit in an int, which is
// what the TLS library's SSL_set_fd takes (and turns back into a SOCKET).
int socket_descriptor(SocketHandle socket) { return static_cast<int>(socket); }

void tcp_close(SocketHandle socket) {
  if (socket != kNoSocket) ::closesocket(native(socket));
}

}  // namespace vantorix
