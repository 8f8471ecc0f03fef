#include "radius/radius_settings.h"

#include <cstdint>
#include <string>
#include <vector>

#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/system.h"
#include "radius/radius_texts.h"
#include "radius/radius_transport.h"
#include "radius/server_list.h"
#include "text/text_helpers.h"
#include "userstore/user_store.h"
#include "userstore/user_store_texts.h"

namespace vantorix {

namespace {

// A number of the value held to [low, high], with an error naming the bound
// used when it is outside them.
int bounded_number(Log& log, std::string_view key, std::string_view value, int low, int high) {
  const int number = leading_number(value);
  if (number >= low && number <= high) return number;
  const int used = number < low ? low : high;
  const std::string shown(value);
  log.error(radius_text::kNumberOutOfRange, std::string(key).c_str(), shown.c_str(), low, high, used);
  return used;
}

// The words of a setting that takes one of a few values: any of them is
// read (any letter case); the first of a value is the one shown.
template <class Value>
struct SettingWord {
  const char* word;
  Value value;
};

constexpr SettingWord<MessageAuthenticatorPolicy> kPolicyWords[] = {{"yes", MessageAuthenticatorPolicy::yes},
                                                                    {"true", MessageAuthenticatorPolicy::yes},
                                                                    {"no", MessageAuthenticatorPolicy::no},
                                                                    {"false", MessageAuthenticatorPolicy::no},
                                                                    {"auto", MessageAuthenticatorPolicy::automatic}};
constexpr SettingWord<Transport> kTransportWords[] = {{"udp", Transport::udp}, {"tls", Transport::tls}};
constexpr SettingWord<ServerOrder> kServerOrderWords[] = {{"failover", ServerOrder::failover},
                                                          {"balance", ServerOrder::balance}};
constexpr SettingWord<VsaFormat> kVsaFormatWords[] = {{"raw", VsaFormat::raw}, {"standard", VsaFormat::standard}};

template <class Value, std::size_t N>
const char* word_of(const SettingWord<Value> (&words)[N], Value value) {
  for (const SettingWord<Value>& entry : words) {
    if (entry.value == value) return entry.word;
  }
  return words[0].word;
}

// "yes, no or auto": the shown word of each value, in the table's order.
template <class Value, std::size_t N>
std::string choices(const SettingWord<Value> (&words)[N]) {
  std::vector<const char*> shown;
  for (const SettingWord<Value>& entry : words) {
    if (word_of(words, entry.value) == entry.word) shown.push_back(entry.word);
  }
  std::string text;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (i > 0) text += i + 1 == shown.size() ? " or " : ", ";
    text += shown[i];
  }
  return text;
}

// Takes the value's word into `setting`; an unknown word is refused with an
// error naming the choices, and the setting stays.
template <class Value, std::size_t N>
void apply_word(Log& log, Value& setting, const SettingWord<Value> (&words)[N], std::string_view key,
                std::string_view value) {
  for (const SettingWord<Value>& entry : words) {
    if (equals_nocase(value, entry.word)) {
      setting = entry.value;
      return;
    }
  }
  const std::string shown_key(key), shown(value);
  log.error(radius_text::kUnknownWord, shown_key.c_str(), shown.c_str(), choices(words).c_str());
}

// A port the configuration may name: digits only, 0 to 65535.
bool is_port_number(std::string_view value) {
  if (value.empty() || value.size() > 5) return false;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
  }
  return leading_number(value) <= 65535;
}

// Kept as the leading number reads, as ever; the warning says what that means.
void warn_about_port(Log& log, std::string_view value, int port) {
  const std::string shown(value);
  if (port == 0) {
    log.error(radius_text::kPortNotANumberServices, shown.c_str());
  } else {
    // Only its low 16 bits reach the wire.
    log.error(radius_text::kPortNotANumber, shown.c_str(), static_cast<int>(static_cast<std::uint16_t>(port)));
  }
}

}  // namespace

bool radius_apply_key(Log& log, RadiusSettings& settings, UserFileSettings& file_settings, std::string_view key,
                      std::string_view value) {
  if (equals_nocase(key, "radius_host")) {
    settings.host = std::string(value);
  } else if (equals_nocase(key, "radius_port")) {
    settings.port = leading_number(value);
    settings.port_configured = true;
    if (!is_port_number(value)) warn_about_port(log, value, settings.port);
  } else if (equals_nocase(key, "radius_secret")) {
    // Secrets are held to kMaxSecret bytes; a longer one is refused whole
    // rather than cut, since a cut secret could never match the server's.
    if (value.size() > static_cast<std::size_t>(kMaxSecret)) {
      log.error(radius_text::kSecretRefused, kMaxSecret);
    } else {
      settings.secret = std::string(value);
      settings.secret_configured = true;
    }
  } else if (equals_nocase(key, "radius_attribute")) {
    settings.attribute = std::string(value);
  } else if (equals_nocase(key, "radius_user_file")) {
    file_settings.file_name = std::string(value);
  } else if (equals_nocase(key, "radius_retries")) {
    settings.retries = bounded_number(log, key, value, 0, kMaxRetries);
  } else if (equals_nocase(key, "radius_timeout")) {
    settings.timeout_seconds = bounded_number(log, key, value, 1, kMaxTimeoutSeconds);
  } else if (equals_nocase(key, "radius_dead_time")) {
    settings.dead_time_seconds = bounded_number(log, key, value, 0, kMaxDeadTimeSeconds);
  } else if (equals_nocase(key, "radius_require_message_authenticator")) {
    apply_word(log, settings.require_message_authenticator, kPolicyWords, key, value);
  } else if (equals_nocase(key, "radius_nas_identifier")) {
    if (value.size() > kMaxNasIdentifier) {
      log.error(radius_text::kNasIdentifierTooLong, static_cast<int>(kMaxNasIdentifier));
    } else {
      settings.nas_identifier = std::string(value);
    }
  } else if (equals_nocase(key, "radius_calling_station_id")) {
    settings.calling_station_id = equals_nocase(value, "true");
  } else if (equals_nocase(key, "radius_transport")) {
    apply_word(log, settings.transport, kTransportWords, key, value);
  } else if (equals_nocase(key, "radius_tls_ca")) {
    settings.tls_files.ca = std::string(value);
  } else if (equals_nocase(key, "radius_tls_cert")) {
    settings.tls_files.certificate = std::string(value);
  } else if (equals_nocase(key, "radius_tls_key")) {
    settings.tls_files.key = std::string(value);
  } else if (equals_nocase(key, "radius_tls_server_name")) {
    settings.tls_server_name = std::string(value);
  } else if (equals_nocase(key, "radius_server_order")) {
    apply_word(log, settings.server_order, kServerOrderWords, key, value);
  } else if (equals_nocase(key, "radius_vsa_format")) {
    apply_word(log, settings.vsa_format, kVsaFormatWords, key, value);
  } else {
    return false;
  }
  return true;
}

const char* setting_word(MessageAuthenticatorPolicy policy) { return word_of(kPolicyWords, policy); }
const char* setting_word(Transport transport) { return word_of(kTransportWords, transport); }
const char* setting_word(ServerOrder order) { return word_of(kServerOrderWords, order); }
const char* setting_word(VsaFormat format) { return word_of(kVsaFormatWords, format); }

std::string_view effective_secret(const RadiusSettings& settings) {
  if (settings.transport == Transport::tls && !settings.secret_configured) return kDefaultTlsSecret;
  return settings.secret ? std::string_view(*settings.secret) : std::string_view();
}

void radius_init(Log& log, RadiusData& radius, UserStore& users) {
  log.message(radius_text::kSettingUp);
  radius = {};
  users.table = {};
}

void radius_check_settings(Log& log, const RadiusSettings& settings, const UserFileSettings& file_settings) {
  // Over TLS the placeholder gives way to the transport's own default.
  if (settings.transport == Transport::udp && !settings.secret_configured) {
    log.error(radius_text::kNoSecret, kDefaultSecret);
  }
  if (settings.host) {
    for (const ServerEntry& entry : parse_server_list(*settings.host)) {
      if (const std::optional<PortLikeGroup> split = port_like_last_group(entry)) {
        log.error(radius_text::kBareIpv6Port, entry.text.c_str(), entry.host.c_str(),
                  static_cast<int>(default_server_port(settings)), split->group.c_str(), split->address.c_str(),
                  split->group.c_str());
      }
    }
  }
  const std::string& user_file = file_settings.file_name;
  if (!user_file.empty()) {
    if (const std::optional<std::string> problem = write_problem_text(user_file)) {
      log.error(user_store_text::kCannotKeep, user_file.c_str(), problem->c_str(), account_name().c_str());
    }
  }
}

void radius_free(RadiusSettings& settings, UserStore& users) {
  settings.host.reset();
  settings.secret.reset();
  settings.attribute.reset();
  users.table = {};
}

}  // namespace vantorix
