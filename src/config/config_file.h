// Locating and reading the configuration file.
#pragma once

namespace vantorix {

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

}  // namespace vantorix
