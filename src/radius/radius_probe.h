// What -test_config asks of each server, and what the backend reports of its
// settings, so that an administrator sees at once what to fix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frontend/backend_ops.h"
#include "platform/env.h"
#include "radius/radius_data.h"
#include "userstore/user_store.h"

namespace vantorix {

/// What one server made of the probe.
enum class ProbeVerdict {
  alive,         // answered Status-Server
  accepted,      // answered the Access-Request for the given user: Access-Accept
  rejected,      // ... anything else
  answers_access_requests,  // silent to Status-Server, but answered an unsigned Access-Request
  no_answer,
  port_closed,   // the system said nothing listens at the server's port
  wrong_secret,  // a reply whose authenticator does not fit the secret
  tls_failed,
  unsigned_reply,  // answered without the Message-Authenticator that "yes" requires
};

struct ProbeResult {
  std::string server;  // address and port
  ProbeVerdict verdict = ProbeVerdict::no_answer;
  std::int64_t round_trip_ms = 0;
  std::string detail;  // the TLS library's reason, the wait
  std::optional<std::string> extra;  // of accepted: the texts a check shows after "+OK"
  bool asked_status_server = true;  // false when a user was given
};

/// A user and password to ask for instead of Status-Server.
struct ProbeUser {
  std::string name;
  std::string password;
};

/// Asks every server once, one send and `radius_timeout` seconds: with no
/// user a Status-Server (RFC 5997), with one an Access-Request for it. The
/// answer is read by a check's rules: only Access-Accept accepts, texts are
/// read as "radius_vsa_format" says, and an answer without the
/// Message-Authenticator that "radius_require_message_authenticator yes"
/// requires is unsigned_reply, since every check would drop it. A
/// server that gives no answer is asked once more with an Access-Request
/// without Message-Authenticator, since a server that checks the attribute
/// drops a request signed with another secret: a reply to it whose
/// authenticator is wrong means the secret is wrong. Never remembers a user.
std::vector<ProbeResult> probe_servers(Log& log, RadiusData& radius, Env& env, const std::optional<ProbeUser>& user);

/// The result as one line of text, with what to do about it.
std::string probe_text(const ProbeResult& result);

/// True when the server answered validly.
bool probe_answered(const ProbeResult& result);

/// One "name = value" line per setting of the backend in effect, secrets as
/// "(hidden)", then the user file with its number of users.
std::vector<std::string> radius_settings_lines(Log& log, const RadiusSettings& settings, UserStore& users);

/// For test_config: the settings lines and one line per server; status 0
/// when every server answered validly, else 1.
TestConfigReport radius_test_config(Log& log, RadiusData& radius, UserStore& users, Env& env, const char* user,
                                    const char* password);

}  // namespace vantorix
