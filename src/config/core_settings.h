// The front end's settings from the configuration file.
#pragma once

#include <optional>
#include <string>

namespace vantorix {

struct CoreSettings {
  std::optional<std::string> default_domain;  // "domain": attached to names without '@'
  std::optional<std::string> info_pass;       // "info_pass": unlocks the settings in info
  bool lowercase_username = false;            // "lowercase_username"
  bool lowercase_username_set = false;        // "lowercase_username_set"
  int search_min = 0;                         // "search_min"
  char filter_from = 0;                       // "filtername" (and the -filtername switch)
  char filter_to = 0;
  std::string dir_hash_base;                  // "dir_hash": at most 255 characters
  int dir_hash_chars = 1;                     // 1 to 5
  int dir_hash_depth = 1;                     // 1 to 5
};

/// The process-wide settings; tests reset them with `core_settings() = {};`.
CoreSettings& core_settings();

}  // namespace vantorix
