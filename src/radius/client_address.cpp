#include "radius/client_address.h"

#include "platform/network.h"

namespace vantorix {
namespace {

constexpr const char* kHidden = "(hidden)";

// How many characters from `from` on could still belong to an address: letters,
// digits, '.' and, when `colons`, ':'.
std::size_t address_run(std::string_view text, std::size_t from, bool colons) {
  std::size_t at = from;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9') && c != '.' && !(colons && c == ':')) break;
  }
  return at - from;
}

bool is_ipv6(std::string_view text) {
  const std::optional<IpAddress> address = parse_ip_address(text);
  return address && address->family == AddressFamily::ipv6;
}

}  // namespace

std::size_t ip_address_prefix(std::string_view text) {
  // After an IPv4 address a ':' begins a port.
  const std::size_t quad = address_run(text, 0, false);
  if (parse_ip_address(text.substr(0, quad))) return quad;
  const std::size_t start = text.starts_with('[') ? 1 : 0;
  const std::size_t length = address_run(text, start, true);
  if (!is_ipv6(text.substr(start, length))) return 0;
  if (start == 0) return length;
  return text.substr(start + length, 1) == "]" ? start + length + 1 : 0;
}

const char* client_address_for_log(const std::optional<std::string>& group) {
  if (!group) return nullptr;
  return ip_address_prefix(*group) > 0 ? group->c_str() : kHidden;
}

}  // namespace vantorix
