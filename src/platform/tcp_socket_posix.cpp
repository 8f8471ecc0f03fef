#include "platform/tcp_socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/native.h"
#include "platform/socket_address.h"

namespace vantorix {
namespace {

int native(SocketHandle socket) { return static_cast<int>(socket); }

void fail_with(int native_error) { set_socket_error_from_native(native_error); }

}  // namespace

SocketHandle tcp_connect(const Endpoint& peer, int milliseconds) {
  // The TLS library writes with write(), which raises SIGPIPE on a
  // connection the server has closed; that must be an error to handle, not
  // the end of the program.
  ::signal(SIGPIPE, SIG_IGN);
  const int fd = ::socket(peer.address.family == AddressFamily::ipv6 ? AF_INET6 : AF_INET,
                          SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    fail_with(errno);
    return kNoSocket;
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const NativeAddress address = to_native(peer);
  if (::connect(fd, address.as<sockaddr>(), static_cast<socklen_t>(address.size)) != 0) {
    if (errno != EINPROGRESS) {
      fail_with(errno);
      ::close(fd);
      return kNoSocket;
    }
    if (socket_wait(fd, SocketEvent::writable, milliseconds) != WaitResult::readable) {
      fail_with(ETIMEDOUT);
      ::close(fd);
      return kNoSocket;
    }
    int error = 0;
    socklen_t error_size = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_size);
    if (error != 0) {
      fail_with(error);
      ::close(fd);
      return kNoSocket;
    }
  }
  return fd;
}

WaitResult socket_wait(SocketHandle socket, SocketEvent event, int milliseconds) {
  pollfd entry{native(socket), static_cast<short>(event == SocketEvent::readable ? POLLIN : POLLOUT), 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, milliseconds < 0 ? 0 : milliseconds);
    if (ready > 0) return WaitResult::readable;  // ready for what was asked, or an error to collect
    if (ready == 0) return WaitResult::timed_out;
    if (errno != EINTR) {
      fail_with(errno);
      return WaitResult::failed;
    }
  }
}

int socket_descriptor(SocketHandle socket) { return native(socket); }

void tcp_close(SocketHandle socket) {
  if (socket != kNoSocket) ::close(native(socket));
}

}  // namespace vantorix
