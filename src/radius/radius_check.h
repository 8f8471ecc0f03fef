// The check and lookup operations of the RADIUS backend.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frontend/backend_ops.h"
#include "frontend/command_words.h"
#include "platform/env.h"
#include "radius/radius_data.h"
#include "userstore/user_store.h"

namespace vantorix {

/// Bytes of the work area in which a name with the default domain is formed:
/// the name, "@", the domain and a terminator must fit.
inline constexpr int kDomainWorkArea = 512;

/// When `domain` is set and entry 1 has no "@", replaces entry 1 by
/// "<name>@<domain>" and logs it. Returns false (entry 1 unchanged, error in
/// the log) when that name would not fit kDomainWorkArea.
bool attach_default_domain(Log& log, CommandWords& words, const std::optional<std::string>& domain);

/// Entry 1 the user name, entry 2 the password, entry 3 the client address
/// (logged, and sent as Calling-Station-Id when so configured). Asks the
/// live servers in turn, in ring order from the first ("radius_server_order"
/// failover: the first of the list; balance: the one `connection.first_server`
/// names), each with a request built afresh, until one gives a valid reply;
/// each gets its retransmissions and its whole wait, or, when it answers
/// Status-Server, is given up by the watchdog when it answers neither that
/// nor the request. When no server is live, each is asked with one send and
/// 2 seconds. A server without a valid reply is marked dead for
/// `radius_dead_time` seconds (one `Log::error` line says so); over UDP one
/// that answers Status-Server then stays dead until it answers a probe sent
/// during a later check's wait, and any other is live again. A late valid
/// answer of a server given up in the same check is still taken. Accepted: a
/// record with the name as sent, the password and the collected texts, and
/// the user is remembered in `users`. Rejected, or no server answered (one
/// `Log::error` line names each server and its wait): none. Sockets that
/// cannot be opened, a TLS connection that failed, or only replies with a
/// wrong Response Authenticator: failed, with the "-DEAD" line for the
/// parent. Time, random bytes and the socket wait come from `env`.
RecordResult check_user(Log& log, RadiusData& radius, UserStore& users, Env& env,
                        const std::optional<std::string>& domain, CommandWords& words);

/// Entry 1 the user name. Checks the password that `users` remembers for the
/// user with the server, as `check_user` does. None when the user is not
/// remembered (the server is not asked).
RecordResult lookup_user(Log& log, RadiusData& radius, UserStore& users, Env& env,
                         const std::optional<std::string>& domain, CommandWords& words);

/// One "+DATA     Server = " line (without its line end) per server for
/// info: its address and port,
/// live or dead (with the seconds left), its counts, its last round trip,
/// whether it answers Status-Server and when it was last probed. With
/// `probes` (UDP) a server that answers Status-Server stays dead past its
/// dead time until it answers a probe.
std::vector<std::string> server_health_lines(const RadiusConnection& connection, bool probes, std::int64_t now);

}  // namespace vantorix
