#include "radius/radius_check.h"

#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/console.h"
#include "radius/radius_packet.h"
#include "radius/radius_texts.h"
#include "radius/radius_transport.h"

namespace vantorix {
namespace {

const char* text_or_null(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

// The numbers the debug lines show for each verdict.
int verdict_number(ReplyVerdict verdict) {
  switch (verdict) {
    case ReplyVerdict::accepted: return 1;
    case ReplyVerdict::refused:
    case ReplyVerdict::bad_length: return 0;
    case ReplyVerdict::bad_digest: return -1;
    case ReplyVerdict::other_request: return 3;
  }
  return 0;
}

// Builds the request for `user` and `password` into the exchange; false
// (nothing to send) when it cannot be built.
bool prepare_request(RadiusData& radius, std::string_view user, std::string_view password) {
  RadiusExchange& exchange = radius.exchange;
  const AccessRequest fields{user, password, static_cast<std::uint32_t>(radius.connection.server_port),
                             radius.connection.nas_ip};
  const std::string_view secret = radius.settings.secret ? std::string_view(*radius.settings.secret) : "";
  const std::uint8_t identifier = next_identifier(exchange.request_counter, log_state().process_id);
  const std::optional<PendingRequest> request =
      build_access_request(fields, secret, identifier, exchange.send_buf, exchange.send_len);
  if (!request) return false;
  exchange.request = *request;
  ++exchange.request_counter;
  return true;
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
  log_message(radius_text::kChecking, user.c_str(), text_or_null(words[3]));
  if (!radius_ensure_open(radius.connection, radius.settings)) return RecordResult::failed();
  user_file_load(users.settings, users.file, users.table);

  RadiusExchange& exchange = radius.exchange;
  exchange.collect_code = kVendorSpecific;
  if (!prepare_request(radius, user, password)) return RecordResult::none();

  const bool debug = log_state().debug_mode;
  const int sent = send_request(radius.connection, exchange);
  if (debug) log_message(radius_text::kSendResponse, sent);

  // One send, then up to five waits. A datagram for another request uses up
  // an attempt without sending again.
  const std::string_view secret = radius.settings.secret ? std::string_view(*radius.settings.secret) : "";
  for (int attempt = 0; attempt < kReplyAttempts; ++attempt) {
    const int received = receive_reply(radius.connection, exchange);
    if (debug) log_message(radius_text::kReadResponse, received);
    if (received == 0) continue;

    UserRecord record;
    record.user_name = words[1];
    record.password = words[2];
    const ReplyVerdict verdict =
        verify_reply(exchange.recv_buf, received, exchange.request, secret, exchange.collect_code, &record);
    if (debug) log_message(radius_text::kDecodeResponse, verdict_number(verdict));
    switch (verdict) {
      case ReplyVerdict::accepted:
        user_store_remember(users, user, password);
        return RecordResult::accepted(std::move(record));
      case ReplyVerdict::other_request:
        continue;
      case ReplyVerdict::bad_digest:
        console_write("%s%s", radius_text::kBadDigest, kLineEnd);
        return RecordResult::failed();
      case ReplyVerdict::bad_length:
        // Whatever the socket holds now is suspect: start afresh.
        radius_connect(radius.connection, radius.settings, false);
        return RecordResult::none();
      case ReplyVerdict::refused:
        return RecordResult::none();
    }
  }
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

RecordResult radius_check(CommandWords& words) {
  return check_user(radius_data(), user_store(), core_settings().default_domain, words);
}

RecordResult radius_lookup(CommandWords& words) {
  return lookup_user(radius_data(), user_store(), core_settings().default_domain, words);
}

}  // namespace vantorix
