// What the operating system provides besides sockets and standard output:
// process id, local time, the system directory, sleeping, random bytes and
// file status. One implementation per platform (system_posix.cpp here).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantorix {

/// The operating system's id of this process.
int current_process_id();

/// The current local time, broken down.
std::tm local_time_now();

/// The directory searched second for the configuration file ("/etc" here).
/// Empty when the platform has none.
std::string system_directory();

/// Blocks the (only) thread for `milliseconds`.
void sleep_milliseconds(int milliseconds);

/// Fills `out` from the operating system's cryptographic random source.
/// Returns false when the source cannot be read; `out` is then unspecified.
bool random_bytes(std::span<std::uint8_t> out);

/// What the user store needs to know about a file to decide whether to read it again.
struct FileStatus {
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;  // modification time, nanoseconds since the epoch
  std::uint64_t device = 0;      // device and inode together identify the file
  std::uint64_t inode = 0;
  bool operator==(const FileStatus&) const = default;
};

/// Status of the file at `path`, or nothing when it cannot be read.
std::optional<FileStatus> file_status(const std::string& path);

/// Appends `data` to the file at `path` with a single write, creating the file
/// readable and writable by its owner only (0600) when it does not exist.
/// Returns true when every byte was written.
bool append_private(const std::string& path, std::string_view data);

/// Test seams: when set, these replace the real sleep and random source.
struct PlatformHooks {
  std::function<void(int milliseconds)> sleep;
  std::function<bool(std::span<std::uint8_t>)> random;
};

/// The process-wide hooks; tests reset them with `platform_hooks() = {};`.
PlatformHooks& platform_hooks();

}  // namespace vantorix
