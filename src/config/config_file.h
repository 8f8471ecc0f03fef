// Locating and reading the configuration file.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/core_settings.h"
#include "logging/log.h"

namespace vantorix {

/// Longest configuration file name, candidate path or system directory; longer
/// ones are cut to this length.
inline constexpr std::size_t kMaxConfigPath = 511;
/// Longest piece of a configuration line handled at a time; a longer line is
/// read in pieces, each handled as a line of its own.
inline constexpr int kMaxConfigLine = 4094;
/// Longest "dir_hash" base; a longer one is cut.
inline constexpr std::size_t kMaxDirHashBase = 255;

/// Where the keys of the configuration file go: the front end's settings, the
/// logging state ("log", "log_path") and, for every other key, the backend's
/// config slot, which says whether the key was its own (none: no key is).
struct ConfigTargets {
  CoreSettings& settings;
  Log& log;  // its settings ("log", "log_path", "log_syslog") and where the loader logs
  std::function<bool(std::string_view key, std::string_view value)> backend;
};

/// Finds the configuration file (in `directory`, or beside `program_path`;
/// then in the system directory; then in the current directory) and applies
/// its lines to `targets` in file order. Logs the whole path of the file read
/// ("INI: Configuration file {PATH}", after "INI: Loading {NAME}"). Warns
/// (Log::error) when the file can be read or written by other accounts, as it
/// holds the secret, and about every place passed over with the system's
/// reason: the first place when `directory` was given or `file_named` (the
/// -ini switch named the program path), and any place that holds a file that
/// cannot be read. Returns the path of the file read, or nothing when none
/// was found (the caller tells the parent: `config_not_found_line`).
std::optional<std::string> config_load(const char* directory, const char* program_path,
                                       const ConfigTargets& targets, bool file_named = false);

/// The places `config_load` tries, in order. Both '/' and '\' separate
/// directories in `program_path`.
struct ConfigPaths {
  std::string file_name;  // last component of the program path up to its first '.', plus ".ini"
  std::string first;      // `file_name` in `directory`, or in the program's own directory
  std::string system;     // `file_name` in the system directory; empty when there is none
};
ConfigPaths config_paths(const char* directory, const char* program_path);

/// The line the parent is told when `config_load` found no file: "-DEAD
/// Unable to open(FIRST) or (NAME)" with its line end.
std::string config_not_found_line(const char* directory, const char* program_path);

/// Applies one configuration line (its line end may still be there): skips
/// comments and empty lines, splits key and value, logs them ("INI:
/// Located {key} {value}") and applies the key to `targets`. No secret
/// reaches the log: a key beginning with "radius_secret" or "info_pass" (any
/// letter case) shows only that name, with the value "(hidden)"; a key that
/// neither the front end nor the backend knows shows its leading word only,
/// with the value "(hidden)", and is warned about with Log::error. A "log" or
/// "log_syslog" value other than true or false is warned about too, and so
/// is a value that begins with '#' or holds a blank or tab followed by one
/// (an inline comment, to its writer); nothing is refused.
void config_apply_line(std::string_view line, const ConfigTargets& targets);

}  // namespace vantorix
