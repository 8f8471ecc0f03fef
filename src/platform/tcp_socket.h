// TCP connections for RADIUS over TLS, over the platform's sockets. Errors
// are reported in Windows Sockets numbering through last_socket_error(), as
// for the UDP sockets.
#pragma once

#include "platform/network.h"

namespace vantorix {

/// A TCP connection to `peer`, made within `milliseconds`, with Nagle's
/// algorithm off (a request goes out at once, not after the peer's delayed
/// acknowledgement) and in non-blocking mode, so reads and writes return
/// instead of waiting; kNoSocket on failure (a connection not made in time
/// is 10060, "Timedout"). A write to a connection the peer has closed fails
/// instead of ending the process (on POSIX systems SIGPIPE is ignored from the
/// first connection on).
SocketHandle tcp_connect(const Endpoint& peer, int milliseconds);

enum class SocketEvent { readable, writable };

/// Waits at most `milliseconds` until the socket is readable (or closed by
/// the peer) or writable.
WaitResult socket_wait(SocketHandle socket, SocketEvent event, int milliseconds);

/// The descriptor a TLS library takes for the socket.
int socket_descriptor(SocketHandle socket);

/// Closes the connection.
void tcp_close(SocketHandle socket);

/// Windows Sockets number of a connection not made in time.
inline constexpr int kSocketErrorTimedOut = 10060;

}  // namespace vantorix
