// Loading the user file into the user table, and appending records to it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logging/log.h"
#include "platform/env.h"
#include "platform/files.h"
#include "userstore/user_table.h"

namespace vantorix {

/// The loader reads the file in pieces of at most this many bytes less one;
/// the rest of a longer line is read as a line of its own.
inline constexpr int kUserFileLineSize = 512;
/// How many bytes before the end of the last load are kept to recognise a
/// file that has only grown since.
inline constexpr int kUserFileTailSize = 64;
/// Attempts to append a record, and the pause after each one that failed
/// for a reason a pause may cure.
inline constexpr int kUserFileAppendAttempts = 3;
inline constexpr int kUserFileAppendPauseMs = 2000;
/// The longest wait for the file's lock in one attempt; another helper holds
/// it only to read what is new and write one record.
inline constexpr int kUserFileLockWaitMs = 1000;

/// Where the remembered users are kept and how their passwords are scrambled.
/// The backend hands the file name over from its configuration.
struct UserFileSettings {
  std::string file_name = "radius_users.dat";  // empty: no user file
  std::string scramble_key = "quietlyturnbrasskeysunderoldbridges";
  int lock_wait_ms = kUserFileLockWaitMs;  // longest wait for the file's lock in one attempt
};

/// What the loader knows about the file as the table reflects it.
struct UserFileState {
  bool loaded = false;      // a load of the file has completed
  FileStatus status;        // the file's status right after the last completed load
  std::int64_t read_end = 0;    // bytes of the file that the table reflects
  std::int64_t line_start = 0;  // start of the line that `read_end` falls in (== read_end after a line end)
  std::string tail;         // the last (up to kUserFileTailSize) bytes before `read_end`
  std::array<bool, kFileErrorKinds> reported{};  // kinds of failure already in the log this run
  bool reported_open_to_others = false;          // the warning about the file's mode is in the log
  // The file held open for appending, and which file it is; it is opened
  // again when the file at the path is another one (or none).
  OpenFile appender;
  FileStatus appender_status;
  // What the last load found at the path; `seen_fresh` until an append has
  // relied on it, so that one status call serves each command.
  std::optional<FileStatus> seen_at_path;
  bool seen_fresh = false;
};

/// Brings `table` up to date with the user file of `settings`; `state` says
/// what the last load saw. Called by every check and lookup once the socket is
/// open. Reads nothing when the file is as the last load left it (or has only
/// grown by records this process appended); reads only the new lines when the
/// file has only grown; reads it whole otherwise. Logs "Loading Userfile
/// again: {%s}" and "Finished Loading Userfile: {%s}" around every read,
/// "Failed to Load Userfile: {%s}" when it cannot be read. Never blocks on
/// something that is not a regular file (a FIFO, say): that is refused, with
/// an error in the log once per run. Warns once per run (Log::error) when
/// other accounts may read or write the file.
void user_file_load(Log& log, const UserFileSettings& settings, UserFileState& state, UserTable& table);

/// What became of a record that `user_file_append` was asked to write.
enum class AppendResult {
  written,        // the record is in the file
  already_there,  // another process had just appended this password for this user: nothing written
  refused,        // the record would not read back as written: not written, error logged
  failed,         // the file could not take the record (or there is no file name)
};

/// Appends the record "<name> <scrambled password>\n" to the user file,
/// creating it with mode 0600. Under the file's advisory lock it first reads
/// into `table` what other processes have appended since the last load, and
/// writes nothing when the table then holds `password` for `name` already, so
/// that helpers accepting the same new user at the same moment append it
/// once. The record goes out in one write; one cut short (full disk, size
/// limit) is taken back, so the file keeps its old length.
///
/// A failure that a pause may cure (the file busy or locked elsewhere) is
/// tried three times in all, with a two-second pause (`env`'s sleep) after each; any other
/// (read-only file system, no permission, no space, file too large, not a
/// regular file, missing directory) fails at once. Either way the
/// operating system's reason goes to the error log once per run and kind of
/// failure, and "Failed to append to Userfile: {%s}" to the log every time.
///
/// A name that would not read back as itself (one holding a space, a line
/// end or a zero byte, or beginning with '#', which marks a comment), a
/// password with bytes outside 1 to 126 (whose scrambled form reads back as
/// another password) or a record longer than a line the loader reads whole is
/// refused and logged as an error. A written record is stored in `table` too;
/// after a failure the table has not been given the user.
AppendResult user_file_append(Log& log, const UserFileSettings& settings, UserFileState& state, UserTable& table,
                              Env& env, std::string_view name, std::string_view password);

}  // namespace vantorix
