// The parts of network.h that are the same on every platform.
#include "platform/network.h"

#include <algorithm>

namespace vantorix {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of the dotted quad that `text` begins with, its four bytes in
// `out`, not looking at what follows; 0 when it begins with none.
std::size_t read_dotted_quad(std::string_view text, std::uint8_t* out) {
  std::size_t at = 0;
  for (int group = 0; group < 4; ++group) {
    if (group > 0) {
      if (at >= text.size() || text[at] != '.') return 0;
      ++at;
    }
    int value = 0;
    int digits = 0;
    while (at < text.size() && is_digit(text[at]) && digits < 3) {
      value = value * 10 + (text[at] - '0');
      ++digits;
      ++at;
    }
    if (digits == 0 || value > 255) return 0;
    out[group] = static_cast<std::uint8_t>(value);
  }
  return at;
}

std::optional<IpAddress> read_ipv4(std::string_view text) {
  IpAddress address;
  if (text.empty() || read_dotted_quad(text, address.bytes.data()) != text.size()) return std::nullopt;
  return address;
}

std::optional<IpAddress> read_ipv6(std::string_view text) {
  IpAddress address;
  address.family = AddressFamily::ipv6;
  std::array<std::uint8_t, 16>& bytes = address.bytes;
  std::size_t filled = 0;          // bytes read so far, in order
  std::optional<std::size_t> gap;  // where "::" stands among them
  std::size_t at = 0;
  if (text.starts_with("::")) {
    gap = 0;
    at = 2;
  } else if (text.starts_with(':')) {
    return std::nullopt;
  }
  while (at < text.size()) {
    // A dotted quad may stand for the last 32 bits, and ends the address.
    if (filled <= 12) {
      const std::string_view rest = text.substr(at);
      std::uint8_t quad[4];
      if (read_dotted_quad(rest, quad) == rest.size()) {
        std::copy(quad, quad + 4, bytes.begin() + static_cast<std::ptrdiff_t>(filled));
        filled += 4;
        break;
      }
    }
    int value = 0;
    std::size_t digits = 0;
    for (; digits < 4 && at + digits < text.size() && hex_value(text[at + digits]) >= 0; ++digits) {
      value = value * 16 + hex_value(text[at + digits]);
    }
    if (digits == 0 || filled == 16) return std::nullopt;
    bytes[filled++] = static_cast<std::uint8_t>(value >> 8);
    bytes[filled++] = static_cast<std::uint8_t>(value);
    at += digits;
    if (at == text.size()) break;
    if (text.substr(at, 2) == "::") {
      if (gap) return std::nullopt;
      gap = filled;
      at += 2;
    } else if (text[at] == ':' && at + 1 < text.size()) {
      ++at;
    } else {
      return std::nullopt;
    }
  }
  if (!gap) return filled == 16 ? std::optional<IpAddress>(address) : std::nullopt;
  if (filled == 16) return std::nullopt;  // "::" stands for one group at least
  // The groups after "::" move to the end; zeros fill the gap.
  std::copy_backward(bytes.begin() + static_cast<std::ptrdiff_t>(*gap), bytes.begin() + static_cast<std::ptrdiff_t>(filled),
                     bytes.end());
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(*gap),
            bytes.end() - static_cast<std::ptrdiff_t>(filled - *gap), std::uint8_t{0});
  return address;
}

}  // namespace

IpAddress IpAddress::v4(std::uint32_t host_order) {
  IpAddress address;
  address.bytes[0] = static_cast<std::uint8_t>(host_order >> 24);
  address.bytes[1] = static_cast<std::uint8_t>(host_order >> 16);
  address.bytes[2] = static_cast<std::uint8_t>(host_order >> 8);
  address.bytes[3] = static_cast<std::uint8_t>(host_order);
  return address;
}

std::uint32_t IpAddress::v4_host_order() const {
  if (family != AddressFamily::ipv4) return 0;
  return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
         (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
}

IpAddress loopback_address(AddressFamily family) {
  if (family == AddressFamily::ipv4) return IpAddress::v4(0x7F000001);
  IpAddress address;
  address.family = AddressFamily::ipv6;
  address.bytes[15] = 1;
  return address;
}

std::string endpoint_text(const Endpoint& endpoint) {
  const std::string address = address_text(endpoint.address);
  const std::string port = std::to_string(endpoint.port);
  if (endpoint.address.family == AddressFamily::ipv6) return "[" + address + "]:" + port;
  return address + ":" + port;
}

std::optional<IpAddress> parse_ip_address(std::string_view text) {
  if (std::optional<IpAddress> address = read_ipv4(text)) return address;
  return read_ipv6(text);
}

std::optional<IpAddress> parse_ipv6_literal(std::string_view text) {
  const std::optional<IpAddress> address = parse_ip_address(text);
  if (!address || address->family != AddressFamily::ipv6) return std::nullopt;
  const std::string_view tail = text.substr(text.rfind(':') + 1);
  if (tail.find('.') != std::string_view::npos) {
    for (std::size_t at = 0; at + 1 < tail.size(); ++at) {
      if (tail[at] == '0' && (at == 0 || tail[at - 1] == '.') && tail[at + 1] != '.') return std::nullopt;
    }
  }
  return address;
}

}  // namespace vantorix
