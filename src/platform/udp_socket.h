// UDP sockets over IPv4 and IPv6, over the platform's sockets. Failures set
// the last socket error of network.h.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/network.h"

namespace vantorix {

/// A new UDP socket of `family`, or kNoSocket. The socket is blocking for
/// sends; receives never block beyond what their calls allow.
SocketHandle udp_socket_open(AddressFamily family);

/// Binds to `local`; false when the port is taken or not allowed.
bool udp_socket_bind(SocketHandle socket, const Endpoint& local);

/// Fixes the socket's peer: sends go to `peer`, and the system drops every
/// datagram that does not come from it. An unbound socket is given a local
/// port of the system's choosing. False on failure.
bool udp_socket_connect(SocketHandle socket, const Endpoint& peer);

/// Sends one datagram to the connected peer; the byte count, or 0 or less on failure.
int udp_send(SocketHandle socket, std::span<const std::uint8_t> datagram);

/// Sends one datagram to `to`; the byte count, or 0 or less on failure.
int udp_send_to(SocketHandle socket, std::span<const std::uint8_t> datagram, const Endpoint& to);

/// Waits at most `milliseconds` for the socket to become readable.
WaitResult udp_wait_readable(SocketHandle socket, int milliseconds);

/// Waits at most `milliseconds` for any of `sockets` to become readable (an
/// error pending on one counts) and returns its index; -1 when the time ran
/// out, -2 when the wait failed (see last_socket_error).
int udp_wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds);

/// What one bounded receive brought.
struct Received {
  int bytes = 0;           // the datagram's size, or -1 on failure (see last_socket_error)
  bool timed_out = false;  // nothing came in time (bytes is 0)
};

/// Waits at most `milliseconds` (0: not at all) for one datagram and takes it
/// into `buffer`. A datagram longer than the buffer is consumed and refused
/// whole: -1 with kSocketErrorMessageSize. An error the system reports for
/// the connected peer (its port closed, say) is -1 with that error. It may
/// report a time-out before `milliseconds` have passed (the caller waits out
/// the rest), never after; a long wait is then one system call.
Received udp_receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds);

/// Receives one datagram already waiting (never blocks) and stores its
/// sender in `from`; the byte count, or 0 or less on failure, as
/// `udp_receive_within`.
int udp_receive_from(SocketHandle socket, std::span<std::uint8_t> buffer, Endpoint* from);

/// Where the socket is bound, or nothing when that cannot be found out.
std::optional<Endpoint> udp_socket_local_endpoint(SocketHandle socket);

/// Shuts the socket down in both directions and closes it.
void udp_socket_close(SocketHandle socket);

}  // namespace vantorix
