// The entries of "radius_host": one server, or several separated by commas.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorix {

/// One entry as written: a host (a name, a dotted quad or an IPv6 literal)
/// and the port it names, if any.
struct ServerEntry {
  std::string text;                  // the entry as written, blanks around it removed
  std::string host;                  // without brackets and port
  bool ipv6_literal = false;         // written in brackets, or a bare IPv6 address
  std::optional<std::uint16_t> port;
  bool port_invalid = false;         // a ":" with no port from 1 to 65535 after it
};

/// Splits `list` at its commas. Blanks (spaces and tabs) around an entry are
/// ignored, and so are empty entries. Each entry is "host", "host:port",
/// "[v6]", "[v6]:port", or a bare IPv6 address (more than one ':' and no
/// brackets), which has no port.
std::vector<ServerEntry> parse_server_list(std::string_view list);

/// A bare IPv6 address (no brackets) whose last group could be meant as a
/// port: digits only, 1 to 65535, with an IPv6 address before it, as in
/// "::1:1812". The entry is read as the whole address all the same.
struct PortLikeGroup {
  std::string address;  // the address without the group
  std::string group;
};
std::optional<PortLikeGroup> port_like_last_group(const ServerEntry& entry);

}  // namespace vantorix
