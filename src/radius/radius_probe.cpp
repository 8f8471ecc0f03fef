#include "radius/radius_probe.h"

#include <algorithm>

#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/system.h"
#include "radius/radius_exchange.h"
#include "radius/radius_packet.h"
#include "radius/radius_settings.h"
#include "radius/radius_texts.h"
#include "radius/radius_transport.h"
#include "radius/retransmission.h"

namespace vantorix {
namespace {

// The name the unsigned second probe asks for when no user was given.
constexpr const char* kProbeUser = "vantorix-test-config";

const char* on_off(bool on) { return on ? "true" : "false"; }

std::string optional_text(const std::optional<std::string>& text) { return text ? *text : "(none)"; }

// One request to `server` and the wait for its answer: a single send, the
// whole wait, no dead-server memory.
// The answer's record keeps what a check would show after "+OK".
ServerAnswer ask_once(Log& log, RadiusData& radius, Env& env, RadiusServer& server, bool status_server,
                      bool signed_request, const std::optional<ProbeUser>& user, UserRecord& record) {
  const RadiusSettings& settings = radius.settings;
  RadiusExchange& exchange = radius.exchange;
  std::uint8_t identifier = 0;
  if (!env.random(std::span<std::uint8_t>(&identifier, 1))) return {};
  std::optional<PendingRequest> pending;
  const std::optional<std::string_view> nas_identifier =
      settings.nas_identifier ? std::optional<std::string_view>(*settings.nas_identifier) : std::nullopt;
  if (status_server) {
    pending = build_status_server(log, env, server.nas_address, nas_identifier, radius.connection.secret, identifier,
                                  exchange.send_buf, exchange.send_len);
  } else {
    AccessRequest fields;
    fields.user = user ? std::string_view(user->name) : std::string_view(kProbeUser);
    fields.password = user ? std::string_view(user->password) : std::string_view();
    fields.nas_port = server.endpoint.port;
    fields.nas_address = server.nas_address;
    fields.nas_identifier = nas_identifier;
    fields.signed_request = signed_request;
    pending = build_access_request(log, env, fields, radius.connection.secret, identifier, exchange.send_buf,
                                   exchange.send_len);
  }
  if (!pending) return {};
  exchange.request = *pending;
  // A check's rules, except that an unsigned reply is taken where a check
  // would drop it: the probe then says so at once instead of waiting out
  // the time-out, and says why every check would fail.
  ReplyRules rules = reply_rules(settings, radius.connection.secret, server, kVendorSpecific);
  rules.require_message_authenticator = false;
  rules.learn_message_authenticator = false;
  UserRecord blank;
  const std::int64_t wait_ms = settings.timeout_seconds * std::int64_t{1000};
  if (settings.transport == Transport::tls) {
    return ask_server_tls(log, env, server, *radius.connection.tls_client, exchange, wait_ms, false, {}, rules, blank,
                          record);
  }
  AskPlan plan;
  plan.schedule = once(wait_ms);
  return ask_server(log, env, server, exchange, plan, rules, blank, record);
}

}  // namespace

std::vector<ProbeResult> probe_servers(Log& log, RadiusData& radius, Env& env, const std::optional<ProbeUser>& user) {
  std::vector<ProbeResult> results;
  for (RadiusServer& server : radius.connection.servers) {
    ProbeResult result;
    result.server = endpoint_text(server.endpoint);
    result.asked_status_server = !user.has_value();
    const std::int64_t started = env.now_ms();
    UserRecord record;
    ServerAnswer answer = ask_once(log, radius, env, server, !user.has_value(), true, user, record);
    if (answer.outcome == ServerOutcome::answered && !answer.signed_message &&
        radius.settings.transport == Transport::udp &&
        radius.settings.require_message_authenticator == MessageAuthenticatorPolicy::yes) {
      result.verdict = ProbeVerdict::unsigned_reply;
    } else if (answer.outcome == ServerOutcome::answered) {
      result.verdict = !user ? ProbeVerdict::alive : answer.accepted ? ProbeVerdict::accepted : ProbeVerdict::rejected;
      if (answer.accepted && record.extra) result.extra = *record.extra;
    } else if (answer.outcome == ServerOutcome::bad_digest) {
      result.verdict = ProbeVerdict::wrong_secret;
    } else if (answer.outcome == ServerOutcome::tls_failed) {
      result.verdict = ProbeVerdict::tls_failed;
      result.detail = tls_reason(server, answer.reason);
    } else if (answer.port_closed) {
      result.verdict = ProbeVerdict::port_closed;
    } else if (radius.settings.transport == Transport::udp) {
      // Silent: a request without Message-Authenticator tells a wrong secret
      // (the reply does not fit it) from a server that is not there.
      answer = ask_once(log, radius, env, server, false, false, user, record);
      if (answer.outcome == ServerOutcome::bad_digest) {
        result.verdict = ProbeVerdict::wrong_secret;
      } else if (answer.outcome == ServerOutcome::answered) {
        result.verdict = user ? (answer.accepted ? ProbeVerdict::accepted : ProbeVerdict::rejected)
                              : ProbeVerdict::answers_access_requests;
      }
    }
    result.round_trip_ms = server.counts.last_round_trip_ms;
    result.detail = result.detail.empty() ? std::to_string((env.now_ms() - started) / 1000) + " s" : result.detail;
    results.push_back(std::move(result));
  }
  return results;
}

bool probe_answered(const ProbeResult& result) {
  return result.verdict == ProbeVerdict::alive || result.verdict == ProbeVerdict::accepted ||
         result.verdict == ProbeVerdict::rejected || result.verdict == ProbeVerdict::answers_access_requests;
}

std::string probe_text(const ProbeResult& result) {
  const std::string round_trip = " in " + std::to_string(result.round_trip_ms) + " ms";
  std::string text = "Server " + result.server + ": ";
  switch (result.verdict) {
    case ProbeVerdict::alive: return text + "alive (answered Status-Server" + round_trip + ")";
    case ProbeVerdict::accepted:
      return text + "accepted" + round_trip + (result.extra ? "; a check answers +OK with {" + *result.extra + "}" : "");
    case ProbeVerdict::unsigned_reply:
      return text + "answered" + round_trip +
             " without a Message-Authenticator, and radius_require_message_authenticator yes drops such replies: "
             "every check would fail (make the server sign its replies, or set "
             "radius_require_message_authenticator auto)";
    case ProbeVerdict::rejected: return text + "rejected" + round_trip + " (the server works; the user or password did not)";
    case ProbeVerdict::answers_access_requests:
      return text + "alive (answered an Access-Request" + round_trip +
             ", not Status-Server: enable status_server on it, or test with -test_config USER PASSWORD)";
    case ProbeVerdict::no_answer:
      return text + "no answer within " + result.detail +
             " (check radius_host and the port, and that the server lists this machine as a client" +
             (result.asked_status_server
                  ? "; a server may also not answer Status-Server: try -test_config USER PASSWORD)"
                  : ")");
    case ProbeVerdict::port_closed:
      return text + "nothing listens at that port (check radius_host and the port, and that the server runs)";
    case ProbeVerdict::wrong_secret: return text + "wrong shared secret (check radius_secret)";
    case ProbeVerdict::tls_failed: return text + "TLS connection failed {" + result.detail + "}";
  }
  return text;
}

std::vector<std::string> radius_settings_lines(Log& log, const RadiusSettings& settings, UserStore& users) {
  std::vector<std::string> lines = {
      "radius_host = " + optional_text(settings.host),
      "radius_port = " + std::to_string(default_server_port(settings)) + " (for entries that name none)",
      "radius_secret = " + std::string(settings.secret_configured ? "(hidden)"
                                       : settings.transport == Transport::tls
                                           ? "(none: the default over TLS, radsec, is used)"
                                           : "(none: the requests are signed with a placeholder no server "
                                             "shares, so every server drops them)"),
      "radius_transport = " + std::string(setting_word(settings.transport)),
      "radius_timeout = " + std::to_string(settings.timeout_seconds),
      "radius_retries = " + std::to_string(settings.retries),
      "radius_dead_time = " + std::to_string(settings.dead_time_seconds),
      "radius_require_message_authenticator = " + std::string(setting_word(settings.require_message_authenticator)),
      "radius_nas_identifier = " + optional_text(settings.nas_identifier),
      "radius_calling_station_id = " + std::string(on_off(settings.calling_station_id)),
      "radius_vsa_format = " + std::string(setting_word(settings.vsa_format)),
      "radius_server_order = " + std::string(setting_word(settings.server_order)),
      "radius_attribute = " + optional_text(settings.attribute),
  };
  if (settings.transport == Transport::tls) {
    lines.push_back("radius_tls_ca = " + optional_text(settings.tls_files.ca));
    // Each of the two is read from the other's file when only one is given.
    const TlsFiles& files = settings.tls_files;
    lines.push_back("radius_tls_cert = " + (files.certificate ? *files.certificate
                                            : files.key       ? std::string("(the key file)")
                                                              : std::string("(none)")));
    lines.push_back("radius_tls_key = " + (files.key           ? *files.key
                                           : files.certificate ? std::string("(the certificate file)")
                                                               : std::string("(none)")));
    lines.push_back("radius_tls_server_name = " + settings.tls_server_name.value_or("(the host as written)"));
  }
  user_file_load(log, users.settings, users.file, users.table);
  const std::optional<FileStatus> status = file_status(users.settings.file_name);
  std::string user_file = "radius_user_file = " + path_in_effect(users.settings.file_name) + ": ";
  if (status) user_file += std::to_string(users.table.size()) + " users";
  if (const std::optional<std::string> problem = write_problem_text(users.settings.file_name)) {
    user_file += (status ? ", " : "") + *problem;
  } else if (!status) {
    user_file += "not there yet";
  }
  lines.push_back(user_file);
  return lines;
}

TestConfigReport radius_test_config(Log& log, RadiusData& radius, UserStore& users, Env& env, const char* user,
                                    const char* password) {
  TestConfigReport report;
  report.lines = radius_settings_lines(log, radius.settings, users);
  std::optional<ProbeUser> probe_user;
  if (user != nullptr) probe_user = ProbeUser{user, password != nullptr ? password : ""};
  for (const ProbeResult& result : probe_servers(log, radius, env, probe_user)) {
    report.lines.push_back(probe_text(result));
    if (!probe_answered(result)) report.status = 1;
  }
  return report;
}

}  // namespace vantorix
