#include "radius/radius_check.h"

#include <algorithm>
#include <string>
#include <vector>

#include "config/core_settings.h"
#include "logging/client_address.h"
#include "logging/log.h"
#include "logging/text_format.h"
#include "platform/console.h"
#include "platform/system.h"
#include "radius/radius_exchange.h"
#include "radius/radius_packet.h"
#include "radius/radius_texts.h"
#include "radius/radius_transport.h"
#include "radius/retransmission.h"

namespace vantorix {
namespace {

const char* text_or_null(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

bool is_dead(const RadiusServer& server, std::int64_t now) { return server.dead_until_ms > now; }

// Puts the servers into `order` as they are asked: the live ones in list
// order, then the dead ones; returns how many are live. `order` keeps its
// room from one check to the next.
std::size_t put_in_asking_order(RadiusConnection& connection, std::int64_t now, std::vector<RadiusServer*>& order) {
  order.clear();
  for (RadiusServer& server : connection.servers) {
    if (!is_dead(server, now)) order.push_back(&server);
  }
  const std::size_t live = order.size();
  for (RadiusServer& server : connection.servers) {
    if (is_dead(server, now)) order.push_back(&server);
  }
  return live;
}

// The first word of the client address the parent gave, if any.
std::optional<std::string_view> calling_station(const RadiusSettings& settings, const CommandWords& words) {
  if (!settings.calling_station_id || !words[3] || words[3]->empty()) return std::nullopt;
  const std::string_view address(*words[3]);
  return address.substr(0, address.find(' '));
}

// Builds a request for `server` into the exchange, with a fresh identifier
// and authenticator; false (nothing to send) when it cannot be built.
bool prepare_request(const SharedSecret& secret, const RadiusServer& server, RadiusExchange& exchange,
                     const AccessRequest& fields) {
  std::uint8_t identifier = 0;
  if (!random_bytes(std::span<std::uint8_t>(&identifier, 1))) {
    log_error(radius_text::kNoRandomBytes);
    return false;
  }
  AccessRequest request = fields;
  request.nas_port = server.endpoint.port;
  request.nas_address = server.nas_address;
  const std::optional<PendingRequest> pending =
      build_access_request(request, secret, identifier, exchange.send_buf, exchange.send_len);
  if (!pending) return false;
  exchange.request = *pending;
  ++exchange.request_counter;
  return true;
}

// "127.0.0.1:1812 (10.0 s)" for the line that says no server answered.
std::string waited_text(const RadiusServer& server, std::int64_t waited_ms) {
  char seconds[32];
  text_format(seconds, sizeof seconds, " (%d.%d s)", static_cast<int>(waited_ms / 1000),
              static_cast<int>(waited_ms % 1000 / 100));
  return endpoint_text(server.endpoint) + seconds;
}

}  // namespace

bool attach_default_domain(CommandWords& words, const std::optional<std::string>& domain) {
  std::optional<std::string>& name = words[1];
  if (!domain || !name || name->find('@') != std::string::npos) return true;
  if (name->size() + 1 + domain->size() >= static_cast<std::size_t>(kDomainWorkArea)) {
    log_error(radius_text::kDomainNameTooLong, kDomainWorkArea - 1);
    return false;
  }
  std::string joined;
  joined.reserve(name->size() + 1 + domain->size());
  joined.append(*name).append("@").append(*domain);
  name = std::move(joined);
  log_message(radius_text::kAttachedDomain, name->c_str());
  return true;
}

RecordResult check_user(RadiusData& radius, UserStore& users, const std::optional<std::string>& domain,
                        CommandWords& words) {
  if (!attach_default_domain(words, domain)) return RecordResult::none();
  const std::string& user = *words[1];
  const std::string password = words[2].value_or("");
  log_message(radius_text::kChecking, user.c_str(), client_address_for_log(words[3]));
  if (!radius_ensure_open(radius.connection, radius.settings)) return RecordResult::failed();
  user_file_load(users.settings, users.file, users.table);

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
  // Each server in turn gets a request built afresh; the first valid reply decides.
  std::vector<RadiusServer*>& order = exchange.asking_order;
  const std::size_t live = put_in_asking_order(radius.connection, monotonic_milliseconds(), order);
  std::string silent;
  std::string tls_failure;  // the last server's whose TLS connection failed
  for (std::size_t position = 0; position < order.size(); ++position) {
    RadiusServer* server = order[position];
    // Live at the start stays live until asked; a dead one may have come back meanwhile.
    const bool dead = position >= live && is_dead(*server, monotonic_milliseconds());
    if (!prepare_request(radius.connection.secret, *server, exchange, fields)) return RecordResult::none();
    UserRecord record;
    const ReplyRules rules = reply_rules(settings, radius.connection.secret, *server, exchange.collect_code);
    const std::int64_t wait_ms = dead ? kDeadServerWaitMs : settings.timeout_seconds * std::int64_t{1000};
    const ServerAnswer answer =
        settings.transport == Transport::tls
            ? ask_server_tls(*server, *radius.connection.tls_client, exchange, wait_ms, rules, blank, record)
            : ask_server(*server, exchange, dead ? dead_schedule() : live_schedule(settings.retries, wait_ms), rules,
                         blank, record);
    switch (answer.outcome) {
      case ServerOutcome::answered:
        server->dead_until_ms = 0;
        if (!answer.accepted) return RecordResult::none();
        user_store_remember(users, user, password);
        return RecordResult::accepted(std::move(record));
      case ServerOutcome::bad_digest:
        log_error("%s", radius_text::kBadDigest);
        console_write("%s%s", radius_text::kBadDigest, kLineEnd);
        return RecordResult::failed();
      case ServerOutcome::tls_failed:
        tls_failure = tls_failure_text(*server, answer.reason);
        log_error("%s", tls_failure.c_str());
        [[fallthrough]];
      case ServerOutcome::no_reply:
        if (settings.dead_time_seconds > 0) {
          server->dead_until_ms = monotonic_milliseconds() + settings.dead_time_seconds * std::int64_t{1000};
        }
        if (!silent.empty()) silent += ", ";
        silent += waited_text(*server, answer.waited_ms);
        break;
    }
  }
  if (!tls_failure.empty()) {
    // What to fix is in the TLS library's reason, so the parent is told it.
    console_write("%s%s", tls_failure.c_str(), kLineEnd);
    return RecordResult::failed();
  }
  log_error(radius_text::kNoServerAnswered, silent.c_str());
  return RecordResult::none();
}

RecordResult lookup_user(RadiusData& radius, UserStore& users, const std::optional<std::string>& domain,
                         CommandWords& words) {
  if (!attach_default_domain(words, domain)) return RecordResult::none();
  log_message(radius_text::kLookup, text_or_null(words[1]));
  if (!radius_ensure_open(radius.connection, radius.settings)) return RecordResult::failed();
  user_file_load(users.settings, users.file, users.table);

  std::optional<std::string> remembered = user_table_lookup(users.table, *words[1]);
  if (!remembered) return RecordResult::none();
  words[2] = std::move(remembered);
  return check_user(radius, users, domain, words);
}

void show_server_health(const RadiusConnection& connection, std::int64_t now) {
  for (const RadiusServer& server : connection.servers) {
    char state[48] = "live";
    if (is_dead(server, now)) {
      text_format(state, sizeof state, "dead (%d s left)", static_cast<int>((server.dead_until_ms - now + 999) / 1000));
    }
    const ServerCounts& counts = server.counts;
    const std::string round_trip =
        counts.last_round_trip_ms < 0 ? "none" : std::to_string(counts.last_round_trip_ms) + " ms";
    reply_line(radius_text::kServerHealth, endpoint_text(server.endpoint).c_str(), state,
               std::to_string(counts.requests).c_str(), std::to_string(counts.accepts).c_str(),
               std::to_string(counts.rejects).c_str(), std::to_string(counts.no_reply).c_str(), round_trip.c_str(),
               kLineEnd);
  }
}

RecordResult radius_check(CommandWords& words) {
  return check_user(radius_data(), user_store(), core_settings().default_domain, words);
}

RecordResult radius_lookup(CommandWords& words) {
  return lookup_user(radius_data(), user_store(), core_settings().default_domain, words);
}

void radius_status() { show_server_health(radius_data().connection, monotonic_milliseconds()); }

}  // namespace vantorix
