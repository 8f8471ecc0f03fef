// Locating and reading the configuration file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantorix {

/// Longest configuration file name, candidate path or system directory; longer
/// ones are cut to this length.
inline constexpr std::size_t kMaxConfigPath = 511;
/// Longest piece of a configuration line handled at a time; a longer line is
/// read in pieces, each handled as a line of its own.
inline constexpr int kMaxConfigLine = 4094;
/// Longest "dir_hash" base; a longer one is cut.
inline constexpr std::size_t kMaxDirHashBase = 255;

/// Finds the configuration file (in `directory`, or beside `program_path`;
/// then in the system directory; then in the current directory), applies the
/// keys the front end owns and hands every other key to the backend's config
/// slot, in file order. Returns 1 when a file was read, 0 when none was found
/// (after writing the "-DEAD Unable to open(...) or (...)" line).
int config_load(const char* directory, const char* program_path);

/// Compares at most `n` characters with ASCII letters folded to lower case and
/// other bytes as unsigned values: 0 when they agree (or both texts end
/// together within them), else the difference of the first differing pair.
int compare_prefix_nocase(const char* first, const char* second, int n);

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
/// key to the settings or hands it to the backend.
void config_apply_line(std::string_view line);

}  // namespace vantorix
