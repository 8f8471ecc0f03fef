// The help and info commands, and the user-name filter.
#pragma once

#include <string>

#include "frontend/command_words.h"

namespace vantorix {

/// Writes "+DATA Valid commands" and a line for each command whose slot the
/// backend table fills. The dispatcher writes the closing "+OK".
void show_help(CommandWords& words);

/// Writes the identity line and, when entry 1 equals the info password, the
/// settings. Always succeeds (nonzero).
int show_info(CommandWords& words);

/// Replaces every `filter_from` character of `name` by `filter_to`, in place,
/// when both are set.
void filter_user_name(std::string& name);

}  // namespace vantorix
