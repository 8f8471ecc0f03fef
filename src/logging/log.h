// Diagnostics: the log file with its rotation, debug echo on standard
// output, the system log and the start-up buffer.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "text/text_format.h"

namespace vantorix {

/// A log file larger than this many bytes after a line is moved to its backup.
inline constexpr std::int64_t kLogRotateSize = 1000000;
/// Past this size a log file that cannot be moved ends file logging for the run.
inline constexpr std::int64_t kLogGiveUpSize = 2000000;
/// The start-up buffer takes no more entries once its count reaches this.
inline constexpr int kStartupLogLimit = 4095;
/// Error lines of start-up kept for the log file when no mode is on.
inline constexpr std::size_t kStartupErrorLimit = 64;
/// The longest reply line the reply writer writes (its 4095-byte buffer, terminator counted).
inline constexpr int kMaxReplyText = 4094;
/// The line terminator that ends every reply line and every line written to
/// standard output.
inline constexpr const char* kLineEnd = "\n";
/// The log file of a process whose configuration names none.
inline constexpr const char* kDefaultLogPath = "vantorix.log";

/// Log lines kept in memory from the first step of start-up until the
/// configuration has said whether and where to log.
struct StartupLog {
  bool active = false;
  std::string text;  // entries, each preceded by "##"; at most 4096 characters
  int count = 0;     // formatted lengths of the entries offered, plus 2 per entry stored
  bool full = false;
  // The messages of the error lines among them (at most kStartupErrorLimit),
  // written to the log file at the dump even when neither mode is on.
  std::vector<std::string> errors;
};

/// The log's settings, and what it keeps between lines.
struct LogState {
  bool debug_mode = false;  // log lines echoed on standard output
  bool log_mode = false;    // log lines written to the log file
  std::optional<std::string> log_path = kDefaultLogPath;  // the log file; absent: no file logging
  int process_id = 0;       // head of every log line; 0 until start-up sets it
  StartupLog startup;
  // While set (by an ErrorCopy), the message of every error line (before
  // its line break is cut) is appended here as well, ending in a line feed.
  std::string* error_copy = nullptr;
  // The log file held open between lines, the path it was opened for and
  // which file it is: opened again when the path changes, or when the file
  // at the path is another one (moved aside by a rotation, say). The path is
  // looked at once a second at most; in between, the size the file has
  // after this process's own writes stands for what a look would show.
  OpenFile file;
  std::string file_path;
  FileStatus file_identity;
  std::time_t file_looked_second = -1;
  std::int64_t file_size = 0;
  // The time text of the lines, made once per second.
  std::time_t time_text_second = -1;
  std::array<char, 32> time_text{};
  bool syslog = false;  // "log_syslog": the lines of the log file go to the system log as well
  // While a LogBatch is open, the log file's lines wait here to go out
  // together with one write.
  int batch_depth = 0;
  std::string pending;
  // The last attempt to write the log file failed: standard error has been
  // told, and is told again once the file can be written.
  bool file_failing = false;
  bool syslog_failing = false;  // the same for the system log
};

/// The program's log. main owns the one Log; every function that logs is
/// given it.
class Log {
 public:
  /// Debug echoes go to `console`'s standard output, and what standard error
  /// is told about the log itself to its standard error.
  explicit Log(Console& console) : console_(console) {}
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  LogState& state() { return state_; }
  const LogState& state() const { return state_; }
  Console& console() { return console_; }

  /// One diagnostic line: "%d %s %s\n" (process id, 20-character local
  /// time, message) to the log file (created with mode 0600, one write per
  /// line, or per batch while a LogBatch is open), echoed on standard output
  /// in debug mode, sent to the system log as well with "log_syslog", or
  /// kept in the start-up buffer while it is active. Does nothing (and does
  /// not expand the format) unless debug mode, log mode or the start-up
  /// buffer is active. The message is cut at its last CR, then at its last LF.
  ///
  /// A log file that cannot be opened or written loses its lines, and
  /// standard error is told once ("Log file {PATH} cannot be written:
  /// REASON; ..."), and once more when it can be written again ("Log file
  /// {PATH} can be written again"); so is the end of file logging after a
  /// rotation that failed, and a system log that does not take lines at once
  /// (they are dropped, never waited for).
  void message(const char* format, ...) VANTORIX_PRINTF(2, 3);

  /// One error line, "%d %s ERROR: %s\n", written whatever the modes: also
  /// during start-up, when the start-up buffer keeps it for the log file even
  /// if neither mode is on when it is dumped.
  void error(const char* format, ...) VANTORIX_PRINTF(2, 3);

  /// Writes now what open batches hold (for an exit path that ends inside one).
  void flush();

  /// Empties the start-up buffer and switches buffering on.
  void startup_begin();
  /// Adds one entry to the start-up buffer (while active and not full).
  void startup_add(const char* format, ...) VANTORIX_PRINTF(2, 3);
  /// Ends buffering and replays the entries through `message`. When that
  /// writes nothing (neither debug nor log mode), the error lines among them
  /// are still written to the log file, as errors are whatever the modes.
  void startup_dump();

  /// The 20-character local time text of log lines, for example
  /// "Dec 06 22:46:51 2026" (day of the month always two digits).
  std::string time_text();

 private:
  friend class LogBatch;
  void write_line(bool error, char* message, bool system_error);
  void write_to_file(std::string_view lines);
  void write_pending();
  void append_to_file(bool error, const char* time, const char* message);
  void report_log_failure(const std::string& path, const std::string& reason);
  void report_log_written(const std::string& path);
  void send_to_system_log(bool error, const char* message);

  Console& console_;
  LogState state_;
};

/// Keeps the log file's lines together from its construction to its
/// destruction, for one command or one stage of start-up: they are then
/// written with one write (so they stay whole, whoever else appends to the
/// log), instead of one per line. The file at the log path is looked at
/// (one status call) before the first write of each second only, so another
/// process's rotation or a removal is seen within a second.
/// Lines of more than 64 KiB together go out in several writes, each of
/// whole lines. Batches may nest; the outermost one writes.
class LogBatch {
 public:
  explicit LogBatch(Log& log);
  ~LogBatch();
  LogBatch(const LogBatch&) = delete;
  LogBatch& operator=(const LogBatch&) = delete;

 private:
  Log& log_;
};

/// From its construction to its destruction, the message of every error
/// line of `log` is appended to `copy` as well, each ending in a line feed:
/// what start-up shows on standard error and -test_config shows.
class ErrorCopy {
 public:
  ErrorCopy(Log& log, std::string& copy) : log_(log) { log_.state().error_copy = &copy; }
  ~ErrorCopy() { log_.state().error_copy = nullptr; }
  ErrorCopy(const ErrorCopy&) = delete;
  ErrorCopy& operator=(const ErrorCopy&) = delete;

 private:
  Log& log_;
};

/// What `log_rotate` did.
enum class Rotation {
  moved,       // the log is now "<path>.1"
  not_needed,  // no file at `path`, not larger than asked, or being moved by another process
  failed,      // the file could not be opened or moved
};

/// Moves the log file at `path` to "<path>.1" (the name built whole, however
/// long the path), replacing an older backup in the same step, when it is
/// larger than `larger_than` bytes. Several processes may share one log:
/// each takes an advisory lock on the log file and measures it again under
/// the lock, so only a process that still finds at `path` a file past the
/// size moves it, and a backup just made by another is never replaced by the
/// new, short log. The wait for the lock is bounded by `lock_wait_ms` (then:
/// not_needed); another process holds it only to check and move the file.
inline constexpr int kRotateLockWaitMs = 1000;
Rotation log_rotate(const char* path, std::int64_t larger_than = -1, int lock_wait_ms = kRotateLockWaitMs);

}  // namespace vantorix
