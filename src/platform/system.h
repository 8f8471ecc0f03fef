// What the operating system provides besides sockets and standard output:
// process id, local time, the system directory and path separator, sleeping,
// random bytes and files. One implementation per platform (system_posix.cpp,
// system_win32.cpp); sleeping and random bytes pass through the portable
// hooks of platform_state.h first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantorix {

/// The operating system's id of this process.
int current_process_id();

/// The current local time, broken down.
std::tm local_time_now();

/// The directory searched second for the configuration file ("/etc" on
/// POSIX systems, the system directory such as C:\Windows\system32 on
/// Windows). Empty when the platform has none or it cannot be found out.
std::string system_directory();

/// The character that joins a directory and a file name ('/' on POSIX
/// systems, '\\' on Windows).
char path_separator();

/// Blocks the (only) thread for `milliseconds`, or calls the sleep hook.
void sleep_milliseconds(int milliseconds);

/// Milliseconds of a clock that never goes back and does not follow changes
/// of the time of day, or the clock hook's answer; only differences of two
/// readings mean anything.
std::int64_t monotonic_milliseconds();

/// Fills `out` from the operating system's cryptographic random source (by
/// way of the random pool), or from the random hook. Returns false when the
/// source cannot be read; `out` is then unspecified.
bool random_bytes(std::span<std::uint8_t> out);

/// What the user store needs to know about a file to decide whether to read it again.
struct FileStatus {
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;  // modification time, nanoseconds since the epoch
  // Together these identify the file: device and inode on POSIX systems,
  // volume serial number and file index on Windows.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileStatus&) const = default;
};

/// Status of the file at `path`, or nothing when it cannot be read.
std::optional<FileStatus> file_status(const std::string& path);

/// Appends `data` to the file at `path` with a single write, creating the file
/// readable and writable by its owner only when it does not exist (mode 0600;
/// on Windows a protected access list that grants its owner alone, so nothing
/// is inherited from the directory). Returns true when every byte was written.
/// On Windows a file that another process holds without sharing it fails
/// here like any other: the caller's pauses are what lets it come free.
bool append_private(const std::string& path, std::string_view data);

/// Moves the position of `file` to `offset` bytes from its start; false when
/// that fails. Unlike fseek, whose long is 32 bits on Windows, it reaches
/// every offset a file can have.
bool file_seek(std::FILE* file, std::int64_t offset);

}  // namespace vantorix
