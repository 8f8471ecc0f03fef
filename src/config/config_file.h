// Locating and reading the configuration file.
#pragma once

#include <cstddef>
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
/// config slot (none: ignored).
struct ConfigTargets {
  CoreSettings& settings;
  LogState& log;
  void (*backend)(std::string_view key, std::string_view value) = nullptr;
};

/// Finds the configuration file (in `directory`, or beside `program_path`;
/// then in the system directory; then in the current directory) and applies
/// its lines to `targets` in file order. Returns true when a file was read,
/// false when none was found (after writing the "-DEAD Unable to open(...) or
/// (...)" line).
bool config_load(const char* directory, const char* program_path, const ConfigTargets& targets);

/// The places `config_load` tries, in order. Both '/' and '\' separate
/// directories in `program_path`.
struct ConfigPaths {
  std::string file_name;  // last component of the program path up to its first '.', plus ".ini"
  std::string first;      // `file_name` in `directory`, or in the program's own directory
  std::string system;     // `file_name` in the system directory; empty when there is none
};
ConfigPaths config_paths(const char* directory, const char* program_path);

/// Applies one configuration line (its line end may still be there): skips
/// comments and empty lines, splits key and value, logs them and applies the
/// key to `targets`.
void config_apply_line(std::string_view line, const ConfigTargets& targets);

}  // namespace vantorix
