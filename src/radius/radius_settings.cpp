#include "radius/radius_settings.h"

#include "logging/log.h"
#include "logging/text_helpers.h"
#include "radius/radius_texts.h"
#include "userstore/user_store.h"

namespace vantorix {

RadiusData& radius_data() {
  static RadiusData data;
  return data;
}

void radius_apply_key(RadiusSettings& settings, UserFileSettings& file_settings, std::string_view key,
                      std::string_view value) {
  if (equals_nocase(key, "radius_host")) {
    settings.host = std::string(value);
  } else if (equals_nocase(key, "radius_port")) {
    settings.port = leading_number(value);
  } else if (equals_nocase(key, "radius_secret")) {
    // Secrets are held to kMaxSecret bytes; a longer one is refused whole
    // rather than cut, since a cut secret could never match the server's.
    if (value.size() > static_cast<std::size_t>(kMaxSecret)) {
      log_error(radius_text::kSecretRefused, kMaxSecret);
      return;
    }
    settings.secret = std::string(value);
  } else if (equals_nocase(key, "radius_attribute")) {
    settings.attribute = std::string(value);
  } else if (equals_nocase(key, "radius_user_file")) {
    file_settings.file_name = std::string(value);
  }
}

void radius_config(std::string_view key, std::string_view value) {
  radius_apply_key(radius_data().settings, user_store().settings, key, value);
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
