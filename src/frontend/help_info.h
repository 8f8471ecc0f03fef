// The help and info commands, and the user-name filter.
#pragma once

#include <string>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/command_words.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"

namespace vantorix {

/// Writes "+DATA Valid commands" and a line for each command whose slot
/// `ops` fills. The dispatcher writes the closing "+OK".
void show_help(ReplyWriter& out, const BackendOps& ops);

/// Writes the identity line and, when entry 1 equals the info password, the
/// settings and the lines of the backend's status slot (when filled). Always
/// succeeds (true).
bool show_info(ReplyWriter& out, CommandWords& words, const CoreSettings& settings, const LogState& log,
               const BackendOps& ops);

/// Replaces every `filter_from` character of `name` by `filter_to`, in place,
/// when both are set.
void filter_user_name(Log& log, std::string& name, const CoreSettings& settings);

}  // namespace vantorix
