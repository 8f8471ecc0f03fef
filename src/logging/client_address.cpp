#include "logging/client_address.h"

namespace vantorix {
namespace {

constexpr const char* kHidden = "(hidden)";

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Nothing that could continue an address follows `at`; after an IPv4
// address a ':' begins a port.
bool ends_there(std::string_view text, std::size_t at, bool colon_ends = false) {
  if (at >= text.size()) return true;
  const char c = text[at];
  return !is_digit(c) && !is_letter(c) && c != '.' && (colon_ends || c != ':');
}

// The length of the dotted quad at the start of `text` (not checking what
// follows), or 0.
std::size_t dotted_quad(std::string_view text) {
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
  }
  return at;
}

// The length of the IPv6 address at the start of `text` (not checking what
// follows), or 0.
std::size_t ipv6_address(std::string_view text) {
  std::size_t at = 0;
  int groups = 0;  // 16-bit groups, a dotted-quad tail counting as two
  bool compressed = false;
  if (text.substr(0, 2) == "::") {
    compressed = true;
    at = 2;
  } else if (text.substr(0, 1) == ":") {
    return 0;
  }
  while (groups < 8) {
    // A dotted quad may stand for the last two groups.
    if (groups <= 6) {
      const std::size_t quad = dotted_quad(text.substr(at));
      if (quad > 0 && ends_there(text, at + quad)) {
        at += quad;
        groups += 2;
        break;
      }
    }
    std::size_t digits = 0;
    while (at + digits < text.size() && is_hex_digit(text[at + digits]) && digits < 4) ++digits;
    if (digits == 0) {
      // Only right after "::" may the address end without a group.
      if (!compressed || text.substr(at - 2, 2) != "::") return 0;
      break;
    }
    at += digits;
    ++groups;
    if (text.substr(at, 2) == "::") {
      if (compressed) return 0;
      compressed = true;
      at += 2;
    } else if (text.substr(at, 1) == ":" && groups < 8) {
      ++at;
      if (at >= text.size() || !is_hex_digit(text[at])) return 0;
    } else {
      break;
    }
  }
  if (compressed ? groups > 7 : groups != 8) return 0;
  return at;
}

}  // namespace

std::size_t ip_address_prefix(std::string_view text) {
  const std::size_t quad = dotted_quad(text);
  if (quad > 0 && ends_there(text, quad, true)) return quad;
  const bool bracket = !text.empty() && text[0] == '[';
  const std::size_t start = bracket ? 1 : 0;
  const std::size_t length = ipv6_address(text.substr(start));
  if (length == 0) return 0;
  if (bracket) {
    if (start + length >= text.size() || text[start + length] != ']') return 0;
    return start + length + 1;
  }
  return ends_there(text, length) ? length : 0;
}

const char* client_address_for_log(const std::optional<std::string>& group) {
  if (!group) return nullptr;
  return ip_address_prefix(*group) > 0 ? group->c_str() : kHidden;
}

}  // namespace vantorix
