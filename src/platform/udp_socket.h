// UDP sockets over IPv4 and IPv6, and name resolution, over the platform's
// sockets. Error numbers are reported in Windows Sockets numbering (10004,
// 10048, ...), which keys the error texts, so the rest of the program never
// sees errno.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantorix {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

enum class AddressFamily : std::uint8_t { ipv4, ipv6 };

/// An IPv4 or IPv6 address, its bytes in network order (an IPv4 address in
/// the first four bytes, the rest zero).
struct IpAddress {
  AddressFamily family = AddressFamily::ipv4;
  std::array<std::uint8_t, 16> bytes{};

  /// The IPv4 address of a 32-bit number in host order (10.1.2.3 is 0x0A010203).
  static IpAddress v4(std::uint32_t host_order);
  /// The IPv4 address as a 32-bit number in host order; 0 for an IPv6 address.
  std::uint32_t v4_host_order() const;
  bool operator==(const IpAddress&) const = default;
};

/// An address and a port (host order).
struct Endpoint {
  IpAddress address;
  std::uint16_t port = 0;
  bool operator==(const Endpoint&) const = default;
};

/// The loopback address of a family: 127.0.0.1 or ::1.
IpAddress loopback_address(AddressFamily family);

/// A dotted quad for IPv4, the RFC 5952 text for IPv6 ("::1", "fd00::2").
std::string address_text(const IpAddress& address);
/// "10.1.2.3:1812" or "[::1]:1812".
std::string endpoint_text(const Endpoint& endpoint);

/// The address an IPv6 literal (without brackets) names, or nothing when the
/// text is not one.
std::optional<IpAddress> parse_ipv6_literal(std::string_view text);

/// How starting the socket library went. Always `ready` where nothing needs
/// starting.
enum class SocketsStart {
  ready,          // the requested version
  other_version,  // started, with another version than asked for
  failed,
};
SocketsStart sockets_start();

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

enum class WaitResult { readable, timed_out, failed };

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

/// The addresses of `name` from the resolver, IPv4 and IPv6, in the order
/// the resolver gives them; empty when there are none. Numeric texts are
/// taken as they stand without a query.
std::vector<IpAddress> resolve_host_addresses(const char* name);

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
inline constexpr int kSocketErrorConnectionReset = 10054; // WSAECONNRESET
inline constexpr int kSocketErrorConnectionRefused = 10061;  // WSAECONNREFUSED
inline constexpr int kSocketErrorUnmappedBase = 20000;

}  // namespace vantorix
