// Standard output of the program: replies, debug echoes and banners.
#pragma once

#include <string>
#include <string_view>

namespace vantorix {

/// Writes `text` to standard output exactly as given (bytes, no translation,
/// no terminator added). Write errors are ignored: the parent may have gone.
void console_output(std::string_view text);

/// Flushes standard output. Errors are ignored.
void console_flush();

/// For tests: while `sink` is set, console output is appended to it instead of
/// going to standard output. Pass nullptr to write to standard output again.
void console_capture(std::string* sink);

}  // namespace vantorix
