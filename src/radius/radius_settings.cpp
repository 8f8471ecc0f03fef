#include "radius/radius_settings.h"

#include <cctype>
#include <limits>

#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "userstore/user_table.h"

namespace vantorix {

RadiusData& radius_data() {
  static RadiusData data;
  return data;
}

namespace {

bool same_key(std::string_view key, std::string_view name) {
  if (key.size() != name.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(key[i])) != name[i]) return false;
  }
  return true;
}

}  // namespace

std::int32_t parse_port_number(std::string_view value) {
  std::size_t at = 0;
  while (at < value.size() && std::isspace(static_cast<unsigned char>(value[at]))) ++at;
  bool negative = false;
  if (at < value.size() && (value[at] == '+' || value[at] == '-')) {
    negative = value[at] == '-';
    ++at;
  }
  std::int64_t number = 0;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
    number = number * 10 + (value[at] - '0');
    if (number > kLimit + 1) number = kLimit + 1;  // keeps the sum bounded; clamped below
  }
  if (negative) return static_cast<std::int32_t>(-number);
  return static_cast<std::int32_t>(number > kLimit ? kLimit : number);
}

void radius_config(std::string_view key, std::string_view value) {
  RadiusData& data = radius_data();
  if (same_key(key, "radius_host")) {
    data.host = std::string(value);
  } else if (same_key(key, "radius_port")) {
    data.port = parse_port_number(value);
  } else if (same_key(key, "radius_secret")) {
    // The password hiding digests the secret and the authenticator in one
    // 512-byte area, so a longer secret could never be used.
    if (value.size() > static_cast<std::size_t>(kMaxSecret)) {
      log_error("radius_secret is longer than %d characters; the previous secret stays", kMaxSecret);
      return;
    }
    data.secret = std::string(value);
  } else if (same_key(key, "radius_attribute")) {
    data.attribute = std::string(value);
  } else if (same_key(key, "radius_user_file")) {
    backend_ops().user_file_name = std::string(value);
  }
}

void radius_init() {
  log_message("Setting up Radius data");
  RadiusData& data = radius_data();
  data = RadiusData{};
  data.sock = kNoSocket;
  data.host = "localhost";
  data.port = kDefaultRadiusPort;
  data.secret = kDefaultSecret;
  user_table_reset();
}

void radius_free() {
  RadiusData& data = radius_data();
  data.host.reset();
  data.secret.reset();
  data.attribute.reset();
  user_table_release();
}

int radius_exit(CommandWords& /*words*/) { return 1; }

}  // namespace vantorix
