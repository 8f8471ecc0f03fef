// The configuration loader's fixed texts: the "-DEAD" line of a missing file
// and the log texts administrators look for.
#pragma once

namespace vantorix::config_text {

inline constexpr char kUnableToOpenLog[] = "Unable to open(%s) or (%s)\n";
inline constexpr char kUnableToOpen[] = "-DEAD Unable to open(%s) or (%s)%s";
inline constexpr char kFailedToLoad[] = "INI: Failed to load {%s}";
inline constexpr char kLoading[] = "INI: Loading {%s}";
inline constexpr char kLocated[] = "INI:         Located {%s} {%s}";
inline constexpr char kHiddenValue[] = "(hidden)";
inline constexpr char kDirHash[] = "dir_hash - base(%s),chars(%d),depth(%d)%s";
inline constexpr char kFilterInvalid[] = "Invalid parameter to filtername\n";
inline constexpr char kUnixPassword[] = "Found unexpected unix_password setting. Please contact Ferrow support";

}  // namespace vantorix::config_text
