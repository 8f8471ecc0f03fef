// The backend's servers: resolving the entries of "radius_host", opening a
// connected UDP socket to each, and closing them again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "frontend/backend_ops.h"
#include "platform/env.h"
#include "platform/network.h"
#include "radius/radius_data.h"
#include "radius/server_list.h"

namespace vantorix {

/// Closes any open sockets, then opens one UDP socket per server of
/// `settings.host`, connected to it, so the system drops datagrams from
/// anyone else, at a local port of the system's choosing ("Socket has been
/// Bounded: %d" logs it). Over TLS, each server gets a connection instead,
/// tried for 2 seconds now; one that cannot be made is logged, counted dead
/// and tried again by the checks. An entry that does not resolve is logged
/// and skipped when there are several. Fails when no entry resolves, no
/// socket opens, or the TLS files cannot be used: the text is logged with
/// Log::error and given back, as the one line the parent is told; nothing
/// when the servers are open. The process id of `env` picks the first
/// server of "radius_server_order balance".
std::optional<std::string> radius_connect(Log& log, RadiusConnection& connection, const RadiusSettings& settings,
                                          Env& env);

/// "-DEAD: TLS connection to %s failed {%s}" for `server`, the reason on one
/// line as `tls_reason` gives it.
std::string tls_failure_text(const RadiusServer& server, const std::string& reason);

/// The TLS library's `reason` for a failed connection to `server`, on one
/// line; when the certificate did not carry the name or address it had to,
/// followed by the one that was expected and where it comes from.
std::string tls_reason(const RadiusServer& server, const std::string& reason);

/// Nothing at once when the sockets are open, otherwise `radius_connect`.
std::optional<std::string> radius_ensure_open(Log& log, RadiusConnection& connection, const RadiusSettings& settings,
                                              Env& env);

/// Closes every open socket (logging either way) and forgets the servers.
void radius_close(Log& log, RadiusConnection& connection);

/// The port of an entry that names none: `radius_port`, or when that reads
/// as 0 the services entry "radius"/"udp" (1645 without one); over TLS 2083
/// unless "radius_port" was given. Only 16 bits of a port reach the wire.
std::uint16_t default_server_port(const RadiusSettings& settings);

/// The address of one entry: an IPv6 literal as written; a text that passes
/// the dotted-quad test by its parse alone (nothing when a group is bad); a
/// name by the resolver, its first IPv4 address, or its first IPv6 address
/// when it has none.
std::optional<IpAddress> resolve_entry(const ServerEntry& entry);

/// IPv4 address of `host` in host byte order (dotted quads without a lookup);
/// 0 when it cannot be found.
std::uint32_t host_address(const char* host);
/// True when `text` up to its first blank is digits and exactly three dots,
/// no run of digits longer than 3: such a host is never asked of the
/// resolver, whether or not it parses.
bool is_dotted_quad(const char* text);
/// The address of a text that is one dotted quad and nothing else, in host
/// byte order; 0 for anything else.
std::uint32_t parse_dotted_quad(const char* text);

}  // namespace vantorix
