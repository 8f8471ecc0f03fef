// The configuration loader's fixed texts: the "-DEAD" line of a missing file
// and the log texts administrators look for.
// Matched by parents and other tools: keep every text byte for byte, odd
// spellings and wording included; a "fix" breaks whoever reads them.
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
inline constexpr char kUnknownKey[] =
    "INI: Unknown key {%s} is ignored: check its spelling, that a blank or tab (not '=') separates it from "
    "its value, and that the line does not begin with a blank";
inline constexpr char kLogNotABoolean[] =
    "INI: log {%s} is neither true nor false: logging is off, and no log file is written until a later "
    "log_path line";
inline constexpr char kOpenToOthers[] =
    "INI: {%s} can be read or written by other accounts, and it holds the RADIUS secret: make it private "
    "to this account (chmod 600)";
inline constexpr char kReading[] = "INI: Configuration file {%s}";
inline constexpr char kPassedOver[] = "INI: {%s} cannot be read (%s): it is passed over, and {%s} is read instead";
inline constexpr char kCannotRead[] = "INI: {%s} cannot be read (%s)";
inline constexpr char kInlineComment[] =
    "INI: the value of {%s} holds \" #\", which looks like a comment, but a value has none: {%s} is used as "
    "it stands; put the comment on a line of its own that begins with '#'";
inline constexpr char kSyslogNotABoolean[] =
    "INI: log_syslog {%s} is neither true nor false: nothing is sent to the system log";
inline constexpr char kNoSyslog[] =
    "INI: log_syslog: this system has no system log the program can reach; lines go to the log file only";
inline constexpr char kUnixPassword[] = "Found unexpected unix_password setting. Please contact Ferrow support";

}  // namespace vantorix::config_text
