#include "logging/log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/system.h"

namespace vantorix {
namespace {

// Every line is expanded into a buffer of this many bytes; the size passed to
// the formatter decides whether the last byte is used.
constexpr int kLineBuffer = 4096;
constexpr int kMessageSize = 4096;  // Log::message
constexpr int kTextSize = 4095;     // Log::error, debug echoes, start-up entries
// A log file line: the message of at most 4095 characters, the process id,
// the time, the error mark and the line feed.
constexpr int kFileLineBuffer = kLineBuffer + 64;
constexpr const char kBackupSuffix[] = ".1";
// The most a batch holds before its lines are written: every write stays far
// below what the system hands to the file in one piece.
constexpr std::size_t kMaxPendingLog = 64 * 1024;

// What standard error is told about the log file itself.
constexpr const char kLogNotWritable[] =
    "Log file {%s} cannot be written: %s; its lines are lost until it can be (check log_path, the directory and "
    "the rights of this account)\n";
constexpr const char kLogWritableAgain[] = "Log file {%s} can be written again\n";
// How long a line waits for room in the system log's queue.
constexpr int kSystemLogWaitMs = 1000;
constexpr const char kSyslogNotTaking[] =
    "System log does not take the log's lines: %s; they are dropped until it does (log_syslog)\n";
constexpr const char kSyslogTakingAgain[] = "System log takes the log's lines again\n";
constexpr const char kLogGivenUp[] =
    "Log file {%s} is past %d bytes and cannot be moved to {%s%s}: nothing more is written to it in this run\n";

constexpr const char kLineFormat[] = "%d %s %s%s";
constexpr const char kErrorLineFormat[] = "%d %s ERROR: %s%s";
constexpr const char kFileLineFormat[] = "%d %s %s%s";
constexpr const char kErrorFileLineFormat[] = "%d %s ERROR: %s%s";

// Drops everything from the last carriage return on, then everything from the
// last line feed on: a message ends where its first line break would print.
void cut_line_breaks(char* message) {
  if (char* cr = std::strrchr(message, '\r')) *cr = '\0';
  if (char* lf = std::strrchr(message, '\n')) *lf = '\0';
}

// The 20-character time text, "Dec 06 22:46:51 2026", made again only when
// the second has changed.
const char* time_text_of(LogState& state) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t second = std::time(nullptr);
  if (second == state.time_text_second) return state.time_text.data();
  const std::tm now = local_time(second);
  const char* month = now.tm_mon >= 0 && now.tm_mon < 12 ? kMonths[now.tm_mon] : "???";
  text_format(state.time_text.data(), static_cast<int>(state.time_text.size()), "%s %02d %02d:%02d:%02d %d", month,
              now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec, now.tm_year + 1900);
  state.time_text_second = second;
  return state.time_text.data();
}

// Tells standard error, once, that the log file cannot be written: nothing
// else would, as the log is where the program reports its failures.
}  // namespace

void Log::report_log_failure(const std::string& path, const std::string& reason) {
  LogState& state = state_;
  if (state.file_failing) return;
  state.file_failing = true;
  char text[kFileLineBuffer];
  text_format(text, sizeof text, kLogNotWritable, path.c_str(), reason.empty() ? "unknown reason" : reason.c_str());
  console_.error_output(text);
}

void Log::report_log_written(const std::string& path) {
  LogState& state = state_;
  if (!state.file_failing) return;
  state.file_failing = false;
  char text[kFileLineBuffer];
  text_format(text, sizeof text, kLogWritableAgain, path.c_str());
  console_.error_output(text);
}

// Sends one line to the system log; standard error hears once that it does
// not take them, and once when it does again.
void Log::send_to_system_log(bool error, const char* message) {
  LogState& state = state_;
  std::string reason;
  // A system log that keeps the program waiting is given one wait, not one per line.
  const bool sent = system_log(error, message, state.syslog_failing ? 0 : kSystemLogWaitMs, reason);
  if (sent == !state.syslog_failing) return;
  state.syslog_failing = !sent;
  char text[kFileLineBuffer];
  if (sent) {
    text_format(text, sizeof text, kSyslogTakingAgain);
  } else {
    text_format(text, sizeof text, kSyslogNotTaking, reason.c_str());
  }
  console_.error_output(text);
}

namespace {

// The log file held open for `path`, whose file there `at_path` describes
// (nothing: there is none); opened again (created 0600 when missing) when
// the path has changed or holds another file. Null, with the reason in
// `error`, when it cannot be opened.
OpenFile* held_log(LogState& state, const std::string& path, const std::optional<FileStatus>& at_path,
                   FileError& error) {
  if (state.file.is_open() && state.file_path == path && at_path && same_file(*at_path, state.file_identity)) {
    return &state.file;
  }
  state.file = OpenFile::open(path, OpenFile::Mode::append, error);
  const std::optional<FileStatus> opened = state.file.is_open() ? state.file.status() : std::nullopt;
  if (!opened) {
    state.file.close();
    return nullptr;
  }
  state.file_path = path;
  state.file_identity = *opened;
  return &state.file;
}

}  // namespace

// Appends whole lines to the log file and rotates the file by its size. They
// go out in one write, so that lines of several processes sharing the log
// never tear into each other, whatever their length. The file stays open
// between writes; the status of the file at the path shows when that is no
// longer the file held (another process moved it aside, or it was removed),
// and the path is opened again. It is taken before the first write of each
// second only: a status call costs as much as the write, and a command
// should cost one system call for its log. Lines written meanwhile to a file
// moved aside are in its backup; to a removed one, lost.
void Log::write_to_file(std::string_view lines) {
  LogState& state = state_;
  const std::string path = *state.log_path;
  std::optional<FileStatus> status;
  if (!state.file.is_open() || state.file_path != path || state.file_looked_second != state.time_text_second) {
    status = file_status(path);
    state.file_looked_second = state.time_text_second;
  } else {
    status = state.file_identity;
    status->size = state.file_size;
  }
  FileError failure;
  OpenFile* file = held_log(state, path, status, failure);
  if (file == nullptr) {
    report_log_failure(path, failure.reason);
    return;
  }
  if (!status || !same_file(*status, state.file_identity)) status = file->status();  // just made
  if (!status || !append_shared(*file, lines, failure)) {
    state.file.close();
    report_log_failure(path, failure.reason);
    return;
  }
  report_log_written(path);
  // The size after the lines; log_rotate measures again under its lock, so
  // that lines others added meanwhile count too.
  const std::int64_t size = status->size + static_cast<std::int64_t>(lines.size());
  state.file_size = size;
  Rotation rotation = Rotation::not_needed;
  if (size > kLogGiveUpSize) {
    // A file this large that cannot be moved aside would grow without end.
    rotation = log_rotate(path.c_str(), kLogGiveUpSize);
    if (rotation == Rotation::failed) {
      state.log_path.reset();
      char text[kFileLineBuffer];
      text_format(text, sizeof text, kLogGivenUp, path.c_str(), static_cast<int>(kLogGiveUpSize), path.c_str(),
                  kBackupSuffix);
      console_.error_output(text);
    }
  } else if (size > kLogRotateSize) {
    rotation = log_rotate(path.c_str(), kLogRotateSize);
  }
  if (rotation != Rotation::not_needed || !open_files_stay_replaceable()) state.file.close();
}

// Writes what a batch holds so far.
void Log::write_pending() {
  if (state_.pending.empty()) return;
  if (state_.log_path) write_to_file(state_.pending);
  state_.pending.clear();
}

// One line for the log file: written at once, or kept for the batch.
void Log::append_to_file(bool error, const char* time, const char* message) {
  LogState& state = state_;
  char line[kFileLineBuffer];
  const int length = text_format(line, kFileLineBuffer, error ? kErrorFileLineFormat : kFileLineFormat,
                                 state.process_id, time, message, text_file_line_end());
  const std::string_view text(line, static_cast<std::size_t>(length));
  if (state.batch_depth == 0) {
    write_to_file(text);
    return;
  }
  if (state.pending.size() + text.size() > kMaxPendingLog) write_pending();
  state.pending.append(text);
}

// Sends one expanded message to wherever log lines go in the current state;
// the system log takes it as an error when `system_error` is set.
void Log::write_line(bool error, char* message, bool system_error) {
  LogState& state = state_;
  cut_line_breaks(message);
  const char* time = time_text_of(state);
  const char* format = error ? kErrorLineFormat : kLineFormat;

  if (state.startup.active) {
    startup_add(format, state.process_id, time, message, "\n");
    if (error && state.startup.errors.size() < kStartupErrorLimit) state.startup.errors.emplace_back(message);
    return;
  }
  if (state.debug_mode) {
    char line[kLineBuffer];
    text_format(line, kTextSize, format, state.process_id, time, message, "\n");
    console_.output(line);
  }
  if (state.syslog) send_to_system_log(system_error, message);
  if (state.log_path) append_to_file(error, time, message);
}

namespace {

// An entry of the start-up buffer that Log::error made:
// "<pid> <20-character time> ERROR: <message>".
bool is_error_entry(std::string_view entry) {
  const std::size_t blank = entry.find(' ');
  constexpr std::size_t kTimeAndBlanks = 22;
  return blank != std::string_view::npos && entry.size() > blank + kTimeAndBlanks &&
         entry.substr(blank + kTimeAndBlanks).starts_with("ERROR: ");
}

}  // namespace

void Log::message(const char* format, ...) {
  const LogState& state = state_;
  if (!state.debug_mode && !state.log_mode && !state.startup.active) return;
  char message[kLineBuffer];
  va_list args;
  va_start(args, format);
  text_vformat(message, kMessageSize, format, args);
  va_end(args);
  write_line(false, message, false);
}

void Log::error(const char* format, ...) {
  char message[kLineBuffer];
  va_list args;
  va_start(args, format);
  const int length = text_vformat(message, kTextSize, format, args);
  va_end(args);
  if (std::string* copy = state_.error_copy) {
    copy->append(message, static_cast<std::size_t>(length));
    if (length == 0 || message[length - 1] != '\n') copy->push_back('\n');
  }
  write_line(true, message, true);
}

LogBatch::LogBatch(Log& log) : log_(log) { ++log_.state_.batch_depth; }

LogBatch::~LogBatch() {
  if (--log_.state_.batch_depth == 0) log_.write_pending();
}

void Log::flush() { write_pending(); }

Rotation log_rotate(const char* path, std::int64_t larger_than, int lock_wait_ms) {
  if (path == nullptr) return Rotation::failed;
  FileError error;
  OpenFile log = OpenFile::open(path, OpenFile::Mode::read, error);
  if (!log.is_open()) return error.kind == FileErrorKind::missing ? Rotation::not_needed : Rotation::failed;
  // Every process that rotates this log takes its lock first; one that waits
  // here finds, once it has the lock, that the file was moved already.
  if (!log.lock(lock_wait_ms, error)) return Rotation::not_needed;
  const std::optional<FileStatus> measured = log.status();
  const std::optional<FileStatus> at_path = file_status(path);
  if (!measured || !at_path || !same_file(*measured, *at_path) || measured->size <= larger_than) {
    return Rotation::not_needed;
  }
  // Built whole: a cut name could be any other file, which the move would replace.
  const std::string backup = std::string(path) + kBackupSuffix;
  // One generation of backup, replaced in the same step.
  return replace_file(path, backup) ? Rotation::moved : Rotation::failed;
}

void Log::startup_begin() {
  StartupLog& startup = state_.startup;
  startup.count = 0;
  startup.text.clear();
  startup.text.reserve(kStartupLogLimit + 1);
  startup.full = false;
  startup.errors.clear();
  startup.active = true;
}

void Log::startup_add(const char* format, ...) {
  StartupLog& startup = state_.startup;
  if (!startup.active || startup.full) return;
  char entry[kLineBuffer];
  va_list args;
  va_start(args, format);
  int length = text_vformat(entry, kTextSize, format, args);
  va_end(args);
  // The count takes the entry as expanded, before its line break is cut.
  startup.count += length;
  cut_line_breaks(entry);
  if (startup.count >= kStartupLogLimit) {
    startup.full = true;
    return;
  }
  startup.text += "##";
  startup.text += entry;
  startup.count += 2;
}

void Log::startup_dump() {
  LogState& state = state_;
  StartupLog& startup = state.startup;
  startup.active = false;
  std::string entries = std::move(startup.text);
  std::vector<std::string> errors = std::move(startup.errors);
  startup = StartupLog{};
  if (!state.debug_mode && !state.log_mode) {
    // The replay below writes nothing; errors are written whatever the modes.
    for (std::string& error : errors) write_line(true, error.data(), true);
    return;
  }

  message("Contents of Start Up log buffer {\n");
  // Entries are separated by '#'; a '#' inside an entry splits it as well.
  std::size_t position = 0;
  while (position < entries.size()) {
    std::size_t end = entries.find('#', position);
    if (end == std::string::npos) end = entries.size();
    if (end > position) {
      // An entry is already a whole line; the system log keeps its priority.
      char message[kLineBuffer];
      const std::size_t length = std::min<std::size_t>(end - position, kMessageSize - 1);
      std::memcpy(message, entries.data() + position, length);
      message[length] = '\0';
      write_line(false, message, is_error_entry(std::string_view(message, length)));
    }
    position = end + 1;
  }
  message("}\n");
}

std::string Log::time_text() { return time_text_of(state_); }

}  // namespace vantorix
