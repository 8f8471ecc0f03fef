#include "radius/radius_settings.h"

#include <cstdint>

#include "logging/log.h"
#include "logging/text_helpers.h"
#include "radius/radius_texts.h"
#include "userstore/user_store.h"

namespace vantorix {

RadiusData& radius_data() {
  static RadiusData data;
  return data;
}

namespace {

// A port the configuration may name: digits only, 0 to 65535.
bool is_port_number(std::string_view value) {
  if (value.empty() || value.size() > 5) return false;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
  }
  return leading_number(value) <= 65535;
}

// Kept as the leading number reads, as ever; the warning says what that means.
void warn_about_port(std::string_view value, int port) {
  const std::string shown(value);
  if (port == 0) {
    log_error(radius_text::kPortNotANumberServices, shown.c_str());
  } else {
    // Only its low 16 bits reach the wire.
    log_error(radius_text::kPortNotANumber, shown.c_str(), static_cast<int>(static_cast<std::uint16_t>(port)));
  }
}

}  // namespace

bool radius_apply_key(RadiusSettings& settings, UserFileSettings& file_settings, std::string_view key,
                      std::string_view value) {
  if (equals_nocase(key, "radius_host")) {
    settings.host = std::string(value);
  } else if (equals_nocase(key, "radius_port")) {
    settings.port = leading_number(value);
    if (!is_port_number(value)) warn_about_port(value, settings.port);
  } else if (equals_nocase(key, "radius_secret")) {
    // Secrets are held to kMaxSecret bytes; a longer one is refused whole
    // rather than cut, since a cut secret could never match the server's.
    if (value.size() > static_cast<std::size_t>(kMaxSecret)) {
      log_error(radius_text::kSecretRefused, kMaxSecret);
      return true;
    }
    settings.secret = std::string(value);
  } else if (equals_nocase(key, "radius_attribute")) {
    settings.attribute = std::string(value);
  } else if (equals_nocase(key, "radius_user_file")) {
    file_settings.file_name = std::string(value);
  } else {
    return false;
  }
  return true;
}

bool radius_config(std::string_view key, std::string_view value) {
  return radius_apply_key(radius_data().settings, user_store().settings, key, value);
}

void radius_init() {
  log_message(radius_text::kSettingUp);
  radius_data() = {};
  user_store().table = {};
}

void radius_free() {
  RadiusSettings& settings = radius_data().settings;
  settings.host.reset();
  settings.secret.reset();
  settings.attribute.reset();
  user_store().table = {};
}

SlotResult radius_exit(CommandWords& /*words*/) { return kSlotSuccess; }

}  // namespace vantorix
