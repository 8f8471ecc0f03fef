#include "radius/server_list.h"

#include <algorithm>

#include "platform/network.h"

namespace vantorix {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// "1" to "65535", digits only.
std::optional<std::uint16_t> read_port(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::uint32_t port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (port == 0 || port > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

ServerEntry read_entry(std::string_view text) {
  ServerEntry entry;
  entry.text = std::string(text);
  std::string_view port_text;
  bool has_port = false;
  if (text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) {
      entry.host = std::string(text);  // an unclosed bracket resolves to nothing
      return entry;
    }
    entry.host = std::string(text.substr(1, close - 1));
    entry.ipv6_literal = true;
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      has_port = true;
      port_text = rest.front() == ':' ? rest.substr(1) : rest;
      if (rest.front() != ':') port_text = "x";  // anything but ":port" after the bracket
    }
  } else if (std::count(text.begin(), text.end(), ':') > 1) {
    entry.host = std::string(text);  // a bare IPv6 address names no port
    entry.ipv6_literal = true;
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    entry.host = std::string(text.substr(0, colon));
    has_port = true;
    port_text = text.substr(colon + 1);
  } else {
    entry.host = std::string(text);
  }
  if (has_port) {
    entry.port = read_port(port_text);
    entry.port_invalid = !entry.port;
  }
  return entry;
}

}  // namespace

std::optional<PortLikeGroup> port_like_last_group(const ServerEntry& entry) {
  if (!entry.ipv6_literal || entry.text.empty() || entry.text.front() == '[') return std::nullopt;
  const std::size_t colon = entry.host.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  PortLikeGroup split{entry.host.substr(0, colon), entry.host.substr(colon + 1)};
  if (!read_port(split.group) || !parse_ipv6_literal(split.address)) return std::nullopt;
  return split;
}

std::vector<ServerEntry> parse_server_list(std::string_view list) {
  std::vector<ServerEntry> entries;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view piece = trim(list.substr(0, comma));
    if (!piece.empty()) entries.push_back(read_entry(piece));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return entries;
}

}  // namespace vantorix
