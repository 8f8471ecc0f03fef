// The words of one command line, as the dispatcher hands them to the backend.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vantorix {

/// Entry 0 the command word, entries 1 and 2 the first two arguments, entry 3
/// the rest of the line with its inner spaces kept. Absent entries are empty
/// optionals. A backend slot may replace entry 1 or 2.
using CommandWords = std::array<std::optional<std::string>, 4>;

/// Splits one command line: the end is trimmed of spaces, tabs and line feeds
/// (never the first character; carriage returns stay), words are separated by
/// runs of spaces only, and text after the third word is entry 3.
CommandWords split_command_line(std::string_view line);

}  // namespace vantorix
