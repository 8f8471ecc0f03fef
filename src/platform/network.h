// What every use of the network shares: addresses and endpoints and their
// text forms, socket handles, starting the socket library, name resolution
// and socket errors. Error numbers are reported in Windows Sockets numbering
// (10004, 10048, ...), which keys the error texts, so the rest of the program
// never sees errno. The system's part is implemented beside the UDP calls
// (udp_socket_posix.cpp, udp_socket_win32.cpp), with which it shares the
// last socket error; network.cpp holds what is the same everywhere.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

/// The address `text` is, the whole of it: a dotted quad (four groups of 1
/// to 3 digits, each 0 to 255, "010" read as 10) or an IPv6 address in RFC
/// 4291 text form (hex groups of 1 to 4 digits, "::" at most once and
/// standing for at least one group, a dotted quad for the last 32 bits).
/// Nothing for anything else: a name, blanks, brackets, a port, a zone
/// ("%eth0") or a prefix ("/64"). The program's one parser of numeric
/// addresses; each caller says what it cuts off around one and which family
/// it takes.
std::optional<IpAddress> parse_ip_address(std::string_view text);

/// The address an IPv6 literal (without brackets) names, or nothing when the
/// text is not one: `parse_ip_address` for IPv6 only, and no group of a
/// dotted tail may begin with a zero ("::ffff:01.2.3.4"), as RFC 3986 writes
/// an IPv4 address.
std::optional<IpAddress> parse_ipv6_literal(std::string_view text);

/// How starting the socket library went. Always `ready` where nothing needs
/// starting.
enum class SocketsStart {
  ready,          // the requested version
  other_version,  // started, with another version than asked for
  failed,
};
SocketsStart sockets_start();

/// How a wait for a socket ended.
enum class WaitResult { readable, timed_out, failed };

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
