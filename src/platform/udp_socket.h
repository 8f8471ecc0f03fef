// The one UDP socket of the RADIUS client, over the platform's sockets.
// Error numbers are reported in Windows Sockets numbering (10004, 10048, ...),
// which keys the error texts, so the rest of the program never sees errno.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vantorix {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

/// An IPv4 address and port, both in host byte order.
struct Ipv4Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  bool operator==(const Ipv4Endpoint&) const = default;
};

/// How starting the socket library went. Always `ready` where nothing needs
/// starting.
enum class SocketsStart {
  ready,          // the requested version
  other_version,  // started, with another version than asked for
  failed,
};
SocketsStart sockets_start();

/// A new blocking UDP socket, or kNoSocket.
SocketHandle udp_socket_open();

/// Binds to `local`; false when the port is taken or not allowed.
bool udp_socket_bind(SocketHandle socket, Ipv4Endpoint local);

/// Sends one datagram; the result is the byte count, or 0 or less on failure.
int udp_send_to(SocketHandle socket, std::span<const std::uint8_t> datagram, Ipv4Endpoint to);

enum class WaitResult { readable, timed_out, failed };

/// Waits at most `milliseconds` for the socket to become readable.
WaitResult udp_wait_readable(SocketHandle socket, int milliseconds);

/// Receives one datagram (at most `buffer.size()` bytes) without blocking
/// beyond what is already waiting; stores the sender in `from`. The result is
/// the byte count, or 0 or less on failure. A longer datagram is consumed and
/// refused whole: -1 with kSocketErrorMessageSize (its sender is still stored).
int udp_receive_from(SocketHandle socket, std::span<std::uint8_t> buffer, Ipv4Endpoint* from);

/// Shuts the socket down in both directions and closes it.
void udp_socket_close(SocketHandle socket);

/// The first IPv4 address of `name` from the resolver, in host byte order.
std::optional<std::uint32_t> resolve_host_name(const char* name);

/// The port of a services entry, in host byte order.
std::optional<std::uint16_t> service_port(const char* service, const char* protocol);

/// This machine's host name (at most 511 characters), empty when unknown.
std::string local_host_name();

/// The last socket error in Windows Sockets numbering; 0 when none. Only a
/// failing socket call changes it, as with Windows Sockets; it is kept per
/// thread.
int last_socket_error();

/// Replaces the last socket error (0 clears it), as WSASetLastError does.
void set_last_socket_error(int code);

/// Windows Sockets numbers that the platform layer reports. A native error
/// without a Windows Sockets counterpart is reported as
/// kSocketErrorUnmappedBase + the native number, which no error text knows.
inline constexpr int kSocketErrorInterrupted = 10004;     // WSAEINTR
inline constexpr int kSocketErrorNotSocket = 10038;       // WSAENOTSOCK
inline constexpr int kSocketErrorWouldBlock = 10035;      // WSAEWOULDBLOCK
inline constexpr int kSocketErrorMessageSize = 10040;     // WSAEMSGSIZE
inline constexpr int kSocketErrorAddressInUse = 10048;    // WSAEADDRINUSE
inline constexpr int kSocketErrorUnmappedBase = 20000;

/// Where the socket is bound (address and port in host byte order), or
/// nothing when that cannot be found out.
std::optional<Ipv4Endpoint> udp_socket_local_endpoint(SocketHandle socket);

}  // namespace vantorix
