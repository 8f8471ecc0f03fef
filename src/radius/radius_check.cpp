#include "radius/radius_check.h"

#include <algorithm>
#include <string>
#include <vector>

#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/system.h"
#include "radius/client_address.h"
#include "radius/radius_exchange.h"
#include "radius/radius_packet.h"
#include "radius/radius_texts.h"
#include "radius/radius_transport.h"
#include "radius/retransmission.h"
#include "text/text_format.h"

namespace vantorix {
namespace {

const char* text_or_null(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

// Dead: marked so, and its dead time not over; over UDP a server that
// answers Status-Server stays dead after that until it answers a probe, and
// any other is live again (tried by a user's request).
bool is_dead(const RadiusServer& server, std::int64_t now, bool probes) {
  if (server.dead_until_ms == 0) return false;
  return now < server.dead_until_ms || (probes && server.status_server == StatusServerSupport::answers);
}

// Puts the servers into `order` as they are asked: the live ones in ring
// order from `first`; when none is live, every server in that order, each
// to get one send and a short wait. Returns true in that last case.
bool put_in_asking_order(RadiusConnection& connection, std::size_t first, std::int64_t now, bool probes,
                         std::vector<RadiusServer*>& order) {
  order.clear();
  const std::size_t count = connection.servers.size();
  for (std::size_t i = 0; i < count; ++i) {
    RadiusServer& server = connection.servers[(first + i) % count];
    if (!is_dead(server, now, probes)) order.push_back(&server);
  }
  if (!order.empty()) return false;
  for (std::size_t i = 0; i < count; ++i) order.push_back(&connection.servers[(first + i) % count]);
  return true;
}

// The time between two revival probes of one server.
std::int64_t probe_interval_ms(const RadiusSettings& settings) {
  return std::max<std::int64_t>(1000, settings.dead_time_seconds * std::int64_t{1000} / 3);
}

// Sends a Status-Server to every dead server whose dead time is over and
// whose last probe is old enough, and adds it to `bystanders`, so that its
// answer is heard while the check waits for another server anyway.
void send_probes(Log& log, Env& env, RadiusConnection& connection, const RadiusSettings& settings,
                 const StatusServerFields& fields, std::vector<RadiusServer*>& bystanders) {
  const std::int64_t now = env.now_ms();
  for (RadiusServer& server : connection.servers) {
    if (server.dead_until_ms == 0 || now < server.dead_until_ms ||
        server.status_server != StatusServerSupport::answers) {
      continue;
    }
    if (server.last_probe_ms >= 0 && now - server.last_probe_ms < probe_interval_ms(settings)) {
      if (server.status_pending) bystanders.push_back(&server);  // the last probe may still be answered
      continue;
    }
    server.request_pending.reset();
    if (!send_status_server(log, env, server, fields)) continue;
    server.last_probe_ms = now;
    log.message(radius_text::kProbing, endpoint_text(server.endpoint).c_str());
    bystanders.push_back(&server);
  }
}

// "2.0 s" for the event and summary lines.
std::string seconds_text(std::int64_t waited_ms) {
  char seconds[32];
  text_format(seconds, sizeof seconds, "%d.%d s", static_cast<int>(waited_ms / 1000),
              static_cast<int>(waited_ms % 1000 / 100));
  return seconds;
}

// A server that gave no valid reply: marked dead for the dead time (when
// that memory is on), in one error line that says why.
void mark_dead(Log& log, RadiusServer& server, const RadiusSettings& settings, const ServerAnswer& answer,
               std::int64_t now) {
  const std::string where = endpoint_text(server.endpoint);
  const std::string waited = seconds_text(answer.waited_ms);
  const int dead_time = settings.dead_time_seconds;
  if (dead_time > 0) {
    server.dead_until_ms = now + dead_time * std::int64_t{1000};
    if (answer.port_closed) {
      log.error(radius_text::kServerRefused, where.c_str(), dead_time);
    } else if (answer.watchdog_expired) {
      log.error(radius_text::kWatchdogExpired, where.c_str(), waited.c_str(), dead_time);
    } else {
      log.error(radius_text::kServerSilent, where.c_str(), waited.c_str(), dead_time);
    }
  } else if (answer.port_closed) {
    log.error(radius_text::kServerRefusedNoMemory, where.c_str());
  } else if (answer.watchdog_expired) {
    log.error(radius_text::kWatchdogExpiredNoMemory, where.c_str(), waited.c_str());
  } else {
    log.error(radius_text::kServerSilentNoMemory, where.c_str(), waited.c_str());
  }
}

// A server that answered is live, whatever it was.
void mark_live(Log& log, RadiusServer& server) {
  if (server.dead_until_ms == 0) return;
  server.dead_until_ms = 0;
  log.message(radius_text::kServerAlive, endpoint_text(server.endpoint).c_str());
}

// The first word of the client address the parent gave, if any.
std::optional<std::string_view> calling_station(const RadiusSettings& settings, const CommandWords& words) {
  if (!settings.calling_station_id || !words[3] || words[3]->empty()) return std::nullopt;
  const std::string_view address(*words[3]);
  return address.substr(0, address.find(' '));
}

// Builds a request for `server` into the exchange, with a fresh identifier
// and authenticator; false (nothing to send) when it cannot be built.
bool prepare_request(Log& log, Env& env, const SharedSecret& secret, const RadiusServer& server,
                     RadiusExchange& exchange, const AccessRequest& fields) {
  std::uint8_t identifier = 0;
  if (!env.random(std::span<std::uint8_t>(&identifier, 1))) {
    log.error(radius_text::kNoRandomBytes);
    return false;
  }
  AccessRequest request = fields;
  request.nas_port = server.endpoint.port;
  request.nas_address = server.nas_address;
  const std::optional<PendingRequest> pending =
      build_access_request(log, env, request, secret, identifier, exchange.send_buf, exchange.send_len);
  if (!pending) return false;
  exchange.request = *pending;
  ++exchange.request_counter;
  return true;
}

}  // namespace

bool attach_default_domain(Log& log, CommandWords& words, const std::optional<std::string>& domain) {
  std::optional<std::string>& name = words[1];
  if (!domain || !name || name->find('@') != std::string::npos) return true;
  if (name->size() + 1 + domain->size() >= static_cast<std::size_t>(kDomainWorkArea)) {
    log.error(radius_text::kDomainNameTooLong, kDomainWorkArea - 1);
    return false;
  }
  std::string joined;
  joined.reserve(name->size() + 1 + domain->size());
  joined.append(*name).append("@").append(*domain);
  name = std::move(joined);
  log.message(radius_text::kAttachedDomain, name->c_str());
  return true;
}

RecordResult check_user(Log& log, RadiusData& radius, UserStore& users, Env& env,
                        const std::optional<std::string>& domain, CommandWords& words) {
  if (!attach_default_domain(log, words, domain)) return RecordResult::none();
  const std::string& user = *words[1];
  const std::string password = words[2].value_or("");
  log.message(radius_text::kChecking, user.c_str(), client_address_for_log(words[3]));
  if (std::optional<std::string> failure = radius_ensure_open(log, radius.connection, radius.settings, env)) {
    return RecordResult::failed(std::move(*failure));
  }
  user_file_load(log, users.settings, users.file, users.table);

  const RadiusSettings& settings = radius.settings;
  RadiusExchange& exchange = radius.exchange;
  exchange.collect_code = kVendorSpecific;
  AccessRequest fields;
  fields.user = user;
  fields.password = password;
  if (settings.nas_identifier) fields.nas_identifier = *settings.nas_identifier;
  fields.calling_station_id = calling_station(settings, words);

  UserRecord blank;
  blank.user_name = words[1];
  blank.password = words[2];
  RadiusConnection& connection = radius.connection;
  const bool udp = settings.transport == Transport::udp;
  StatusServerFields status;
  status.secret = &connection.secret;
  status.nas_identifier = fields.nas_identifier;
  // Answers of earlier checks count no more; answers to Status-Server do.
  for (RadiusServer& server : connection.servers) server.request_pending.reset();
  // Servers read during the check's waits: given up, or probed.
  std::vector<RadiusServer*> bystanders;
  const std::int64_t start = env.now_ms();
  if (udp) {
    for (RadiusServer& server : connection.servers) {
      if (server.dead_until_ms != 0 && server.status_pending) bystanders.push_back(&server);
    }
    if (!bystanders.empty()) {
      hear_waiting_datagrams(log, env, bystanders, exchange,
                             reply_rules(settings, connection.secret, connection.servers[0], exchange.collect_code));
      bystanders.clear();
    }
  }
  const std::size_t first = settings.server_order == ServerOrder::balance ? connection.first_server : 0;
  std::vector<RadiusServer*> order;
  const bool all_dead = put_in_asking_order(connection, first, start, udp, order);
  if (udp && !all_dead) send_probes(log, env, connection, settings, status, bystanders);

  // Each server in turn gets a request built afresh; the first valid reply decides.
  std::string silent;        // servers that gave no valid reply, with their waits
  std::string refused;       // servers where nothing listens
  std::string tls_failure;   // the last server's whose TLS connection failed
  for (RadiusServer* server : order) {
    if (!prepare_request(log, env, connection.secret, *server, exchange, fields)) return RecordResult::none();
    UserRecord record;
    const ReplyRules rules = reply_rules(settings, connection.secret, *server, exchange.collect_code);
    const std::int64_t wait_ms = all_dead ? kDeadServerWaitMs : settings.timeout_seconds * std::int64_t{1000};
    const bool watchdog = !all_dead && server->status_server == StatusServerSupport::answers;
    ServerAnswer answer;
    if (udp) {
      // The Status-Server beside the first request tells whether the server answers them.
      server->request_pending = exchange.request;
      if (!server->status_server_asked) {
        server->status_server_asked = true;
        send_status_server(log, env, *server, status);
      }
      AskPlan plan;
      plan.schedule = all_dead ? dead_schedule() : live_schedule(settings.retries, wait_ms);
      plan.watchdog = watchdog;
      plan.status = status;
      plan.bystanders = bystanders;
      answer = ask_server(log, env, *server, exchange, plan, rules, blank, record);
    } else {
      answer = ask_server_tls(log, env, *server, *connection.tls_client, exchange, wait_ms, watchdog, status, rules,
                              blank, record);
    }
    switch (answer.outcome) {
      case ServerOutcome::answered:
        mark_live(log, *answer.from);
        answer.from->tls_failure_logged.clear();
        if (!answer.accepted) return RecordResult::none();
        user_store_remember(log, users, env, user, password);
        return RecordResult::accepted(std::move(record));
      case ServerOutcome::bad_digest:
        log.error("%s", radius_text::kBadDigest);
        return RecordResult::failed(radius_text::kBadDigest);
      case ServerOutcome::tls_failed:
        tls_failure = tls_failure_text(*server, answer.reason);
        // The same failure as last time (at start-up, say) is not logged again.
        if (tls_failure != server->tls_failure_logged) log.error("%s", tls_failure.c_str());
        server->tls_failure_logged = tls_failure;
        if (settings.dead_time_seconds > 0) {
          server->dead_until_ms = env.now_ms() + settings.dead_time_seconds * std::int64_t{1000};
        }
        break;
      case ServerOutcome::no_reply:
        mark_dead(log, *server, settings, answer, env.now_ms());
        std::string& list = answer.port_closed ? refused : silent;
        if (!list.empty()) list += ", ";
        list += endpoint_text(server->endpoint) + " (" +
                (answer.port_closed ? std::string("refused") : seconds_text(answer.waited_ms)) + ")";
        // Its answer may still come while the next server is asked.
        if (udp && !answer.port_closed) bystanders.push_back(server);
        break;
    }
  }
  if (!tls_failure.empty()) {
    // What to fix is in the TLS library's reason, so the parent is told it.
    return RecordResult::failed(std::move(tls_failure));
  }
  if (!silent.empty()) {
    // The hint about a wrong secret fits only servers that stayed silent.
    if (!refused.empty()) silent += ", " + refused;
    log.error(radius_text::kNoServerAnswered, silent.c_str());
  } else if (!refused.empty()) {
    log.error(radius_text::kNoServerAnsweredRefused, refused.c_str());
  }
  return RecordResult::none();
}

RecordResult lookup_user(Log& log, RadiusData& radius, UserStore& users, Env& env,
                         const std::optional<std::string>& domain, CommandWords& words) {
  if (!attach_default_domain(log, words, domain)) return RecordResult::none();
  log.message(radius_text::kLookup, text_or_null(words[1]));
  if (std::optional<std::string> failure = radius_ensure_open(log, radius.connection, radius.settings, env)) {
    return RecordResult::failed(std::move(*failure));
  }
  user_file_load(log, users.settings, users.file, users.table);

  std::optional<std::string> remembered = user_table_lookup(users.table, *words[1]);
  if (!remembered) return RecordResult::none();
  words[2] = std::move(remembered);
  return check_user(log, radius, users, env, domain, words);
}

std::vector<std::string> server_health_lines(const RadiusConnection& connection, bool probes, std::int64_t now) {
  std::vector<std::string> lines;
  for (const RadiusServer& server : connection.servers) {
    char state[48] = "live";
    if (is_dead(server, now, probes)) {
      if (now < server.dead_until_ms) {
        text_format(state, sizeof state, "dead (%d s left)",
                    static_cast<int>((server.dead_until_ms - now + 999) / 1000));
      } else {
        text_format(state, sizeof state, "dead (until it answers a probe)");
      }
    }
    const ServerCounts& counts = server.counts;
    const std::string round_trip =
        counts.last_round_trip_ms < 0 ? "none" : std::to_string(counts.last_round_trip_ms) + " ms";
    const char* status = server.status_server == StatusServerSupport::answers   ? "answered"
                         : server.status_server == StatusServerSupport::ignores ? "ignored"
                                                                                : "not known yet";
    const std::string probe =
        server.last_probe_ms < 0 ? "never" : std::to_string((now - server.last_probe_ms) / 1000) + " s ago";
    char line[kMaxReplyText + 1];
    text_format(line, sizeof line, radius_text::kServerHealth, endpoint_text(server.endpoint).c_str(), state,
                std::to_string(counts.requests).c_str(), std::to_string(counts.accepts).c_str(),
                std::to_string(counts.rejects).c_str(), std::to_string(counts.no_reply).c_str(), round_trip.c_str(),
                status, probe.c_str(), "");
    lines.emplace_back(line);
  }
  return lines;
}

}  // namespace vantorix
