// Fuzzes the configuration loader with arbitrary file contents, the keys it
// does not own going to the RADIUS backend's settings as in the program, and
// the checks of the settings that follow at start-up. Checks the bounds that
// the settings promise.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/config_file.h"
#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/console.h"
#include "radius/radius_data.h"
#include "radius/radius_settings.h"
#include "scratch_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& directory = vantorix::fuzz::scratch_directory("config");
  const std::string path = directory + "/fuzz.ini";
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  std::string console_text;
  vantorix::Console console;
  console.capture(&console_text);
  vantorix::Log log(console);
  log.state().log_path.reset();
  // Everything logged while loading stays in the start-up buffer, which is
  // dropped below: a fuzzed "log_path" must never make the loader write a file.
  log.startup_begin();
  vantorix::CoreSettings settings;
  vantorix::RadiusData radius_data;
  vantorix::UserStore users;
  vantorix::radius_init(log, radius_data, users);
  const auto backend_key = [&](std::string_view key, std::string_view value) {
    return vantorix::radius_apply_key(log, radius_data.settings, users.settings, key, value);
  };
  if (!vantorix::config_load(directory.c_str(), "fuzz", {settings, log, backend_key})) {
    __builtin_trap();
  }
  // What start-up checks next: the secret, the entries of radius_host, the user file.
  vantorix::radius_check_settings(log, radius_data.settings, users.settings);

  if (settings.dir_hash_base.size() > vantorix::kMaxDirHashBase) __builtin_trap();
  if (settings.dir_hash_chars < 1 || settings.dir_hash_chars > 5) __builtin_trap();
  if (settings.dir_hash_depth < 1 || settings.dir_hash_depth > 5) __builtin_trap();
  const vantorix::RadiusSettings& radius = radius_data.settings;
  if (radius.secret && radius.secret->size() > static_cast<std::size_t>(vantorix::kMaxSecret)) __builtin_trap();
  if (log.state().startup.text.size() > 4096) __builtin_trap();

  vantorix::radius_free(radius_data.settings, users);
  return 0;
}
