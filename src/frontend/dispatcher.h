// Answers one command line of the line protocol.
#pragma once

#include <string_view>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/reply_writer.h"

namespace vantorix {

/// The commands of the line protocol; the values index the command table.
enum class Command : int {
  help,
  exit,
  check,
  lookup,
  set,
  mod,
  del,
  search,
  info,
  debug,
  quit,
  version,
  unknown,
};

inline constexpr int kCommandCount = 12;

/// Finds a command word in the table. A name matches when its first character
/// agrees exactly and the rest without regard to ASCII letter case, so "cHECK"
/// is check while "CHECK" is unknown.
Command find_command(std::string_view word);

/// Answers one command line (possibly ending in a line feed; it ends at its
/// first NUL byte, as a C text would) with the slots of `ops` and the
/// settings; debug switches the debug mode of `out`'s log. Writes the reply lines
/// flushes standard output (except after exit and quit) and returns 1 after
/// exit or quit, whatever the exit slot answered, and 0 after every other
/// command.
int dispatch_command(const BackendOps& ops, const CoreSettings& settings, ReplyWriter& out, std::string_view line);

}  // namespace vantorix
