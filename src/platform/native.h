// What each platform's implementation file provides to the portable part of
// the platform layer. Only src/platform/ includes this header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorix {

/// Blocks the thread for `milliseconds`.
void native_sleep_milliseconds(int milliseconds);

/// Milliseconds of a clock that never goes back (not the time of day).
std::int64_t native_monotonic_milliseconds();

/// Fills `size` bytes at `out` from the operating system's cryptographic
/// random source; false when it cannot be read.
bool native_random_bytes(std::uint8_t* out, std::size_t size);

/// True when the write to standard output that has just failed met a pipe
/// nobody reads any more (POSIX: EPIPE; Windows: a broken, closing or
/// unconnected pipe, which its C library reports as EINVAL).
bool native_output_pipe_closed();

/// Makes `native_error` (the platform's own error number) the last socket
/// error, in Windows Sockets numbering.
void set_socket_error_from_native(int native_error);

}  // namespace vantorix
