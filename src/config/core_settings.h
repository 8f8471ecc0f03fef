// The front end's settings from the configuration file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "logging/log.h"

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

/// One "key = value" line per front-end setting in effect, the logging keys
/// included, for -test_config; "info_pass" shows as "(hidden)", and the log
/// path is followed by whether this account can write it.
std::vector<std::string> core_settings_lines(const CoreSettings& settings, const LogState& log);

/// What keeps this account from writing the file at `path` (see
/// `file_write_problem`), as an administrator reads it: "cannot be created:
/// REASON" or "not writable: REASON"; nothing when it can be written or
/// created.
std::optional<std::string> write_problem_text(const std::string& path);

/// `path` for those lines: a relative one followed by " (in DIR)", the
/// working directory it is taken in.
std::string path_in_effect(const std::string& path);

}  // namespace vantorix
