// The texts of socket errors, keyed by Windows Sockets numbers (the
// platform layer maps native errors onto them).
#pragma once

#include <string>

namespace vantorix {

/// Text of the last socket error, ending in a line feed; the next call
/// overwrites it. "Socket Unkown error code %d \n" for a number without a text.
const char* socket_error_text();

/// The same text without its line end, for use inside a line.
std::string socket_error_line();

}  // namespace vantorix
