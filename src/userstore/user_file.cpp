#include "userstore/user_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "logging/log.h"
#include "platform/files.h"
#include "platform/system.h"
#include "userstore/scramble.h"
#include "userstore/user_store_texts.h"

namespace vantorix {
namespace {

constexpr int kScrambleSeed = 1;
constexpr std::size_t kReadChunk = 1 << 16;

// Cuts the file into the pieces that reading line by line into a 512-byte
// buffer gives: each piece ends after a line feed or after 511 bytes,
// whichever comes first. Reads the file in large chunks of its own.
class PieceReader {
 public:
  PieceReader(const OpenFile& file, std::int64_t offset)
      : file_(file), chunk_(std::make_unique<char[]>(kReadChunk)), offset_(offset), read_at_(offset) {}

  /// The next piece, terminated, in `piece` (kUserFileLineSize bytes); its
  /// length in bytes (zero bytes included) in `length`. False at the end of
  /// the file or on a read error.
  bool next(char* piece, std::size_t& length) {
    length = 0;
    while (length < kUserFileLineSize - 1) {
      if (pos_ == end_) {
        FileError error;
        const std::int64_t got = file_.read_at(read_at_, chunk_.get(), kReadChunk, error);
        pos_ = 0;
        end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
        if (got <= 0) {
          if (got < 0) failed_ = true;
          break;
        }
        read_at_ += got;
      }
      const char* start = chunk_.get() + pos_;
      std::size_t count = std::min(end_ - pos_, kUserFileLineSize - 1 - length);
      const void* line_feed = std::memchr(start, '\n', count);
      if (line_feed != nullptr) count = static_cast<std::size_t>(static_cast<const char*>(line_feed) - start) + 1;
      std::memcpy(piece + length, start, count);
      length += count;
      pos_ += count;
      offset_ += static_cast<std::int64_t>(count);
      if (line_feed != nullptr) break;
    }
    piece[length] = '\0';
    return length > 0 && !failed_;
  }

  bool failed() const { return failed_; }
  /// Offset in the file just past the last piece returned.
  std::int64_t offset() const { return offset_; }

 private:
  const OpenFile& file_;
  std::unique_ptr<char[]> chunk_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::int64_t offset_;   // just past the last piece
  std::int64_t read_at_;  // just past the last chunk
  bool failed_ = false;
};

// One piece of the file: comments and empty lines are skipped, the line end
// removed, the name ends at the first space and the rest is the scrambled
// form. `plain` is the caller's work text, so a load allocates per user only
// what the table keeps.
void store_piece(const char* piece, const ScrambleKey& key, UserTable& table, std::string& plain) {
  std::size_t length = std::strlen(piece);  // a zero byte ends the line's text
  if (length == 0 || piece[0] == '#' || piece[0] == '\r' || piece[0] == '\n') return;
  while (length > 1 && (piece[length - 1] == '\r' || piece[length - 1] == '\n')) --length;
  const std::string_view line(piece, length);
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return;
  unscramble_with(key, line.substr(space + 1), plain);
  table.store(line.substr(0, space), plain);
}

// The `count` bytes before `end`, or nothing when they cannot be read.
std::optional<std::string> read_before(const OpenFile& file, std::int64_t end, std::size_t count) {
  std::string bytes(count, '\0');
  if (count == 0) return bytes;
  FileError error;
  if (file.read_at(end - static_cast<std::int64_t>(count), bytes.data(), count, error) !=
      static_cast<std::int64_t>(count)) {
    return std::nullopt;
  }
  return bytes;
}

// True when the bytes just before the end of the last load are still there.
bool tail_unchanged(const OpenFile& file, const UserFileState& state) {
  if (state.read_end < static_cast<std::int64_t>(state.tail.size())) return false;
  return read_before(file, state.read_end, state.tail.size()) == state.tail;
}

// The table reflects the file exactly as `status` describes it.
bool state_is_current(const UserFileState& state, const FileStatus& status) {
  return state.loaded && status == state.status && status.size == state.read_end;
}

// Writes one failure of the user file to the log with its reason, once per
// run and kind of failure, so that a file that cannot be used says why
// without repeating it for every user.
void report_once(Log& log, UserFileState& state, const std::string& path, const FileError& error) {
  bool& reported = state.reported[static_cast<std::size_t>(error.kind)];
  if (reported) return;
  reported = true;
  log.error(user_store_text::kCannotUse, path.c_str(), error.reason.c_str());
}

// Brings `table` up to date with the open `file`, whose status is `current`:
// reads nothing when the table reflects it already, only the new lines when
// the file has only grown since the last load, the whole file otherwise.
void read_into(Log& log, const OpenFile& file, const std::string& path, const FileStatus& current,
               const UserFileSettings& settings, UserFileState& state, UserTable& table) {
  if (state_is_current(state, current)) return;
  const bool may_resume = state.loaded && same_file(current, state.status) && current.size > state.read_end;
  log.message(user_store_text::kLoading, path.c_str());

  // Either way the table ends up as a full read would leave it, because later lines win.
  const std::int64_t start = may_resume && tail_unchanged(file, state) ? state.line_start : 0;
  PieceReader reader(file, start);
  std::int64_t line_start = start;
  const ScrambleKey key = scramble_key_schedule(settings.scramble_key, kScrambleSeed);
  std::string plain;
  char piece[kUserFileLineSize];
  std::size_t length = 0;
  while (reader.next(piece, length)) {
    bool line_ended = piece[length - 1] == '\n';
    store_piece(piece, key, table, plain);
    if (line_ended) line_start = reader.offset();
  }
  const std::optional<FileStatus> after = file.status();
  const auto tail_size = static_cast<std::size_t>(std::min<std::int64_t>(reader.offset(), kUserFileTailSize));
  std::optional<std::string> tail = read_before(file, reader.offset(), tail_size);
  if (reader.failed() || !after || !tail) {
    log.message(user_store_text::kLoadFailed, path.c_str());
    return;
  }
  state.loaded = true;
  state.read_end = reader.offset();
  state.line_start = line_start;
  state.tail = std::move(*tail);
  state.status = *after;
  log.message(user_store_text::kLoaded, path.c_str());
}

// True when the file has content whose last byte is not a line feed, so that
// a record appended as it stands would run on from its last line.
bool ends_inside_a_line(const OpenFile& file, const FileStatus& status) {
  if (status.size == 0) return false;
  const std::optional<std::string> last = read_before(file, status.size, 1);
  return last && *last != "\n";
}

// After this process appended `record` to a file that the table reflected
// exactly, and nothing else has touched the file in between, the table still
// reflects it: remember the new end so that the next load reads nothing.
void note_own_append(UserFileState& state, const FileStatus& before, const std::optional<FileStatus>& after,
                     std::string_view record) {
  if (!state_is_current(state, before) || !after || !same_file(*after, before) ||
      after->size != before.size + static_cast<std::int64_t>(record.size())) {
    return;
  }
  state.status = *after;
  state.read_end = after->size;
  state.line_start = after->size;
  // The tail keeps its room: appending and cutting the front allocates nothing.
  state.tail.append(record);
  const auto keep = static_cast<std::size_t>(kUserFileTailSize);
  if (state.tail.size() > keep) state.tail.erase(0, state.tail.size() - keep);
}

// Why the record "<name> <form>\n" would not read back as written (a log
// text taking the name), or null when it would; no form: the password's
// bytes cannot be scrambled.
const char* unstorable_reason(std::string_view name, const std::optional<std::string>& form) {
  // A name holding a space or a line end would be cut short when read back,
  // and one beginning with '#' would be read back as a comment.
  if (name.find_first_of(std::string_view(" \r\n\0", 4)) != std::string_view::npos ||
      (!name.empty() && name[0] == '#')) {
    return user_store_text::kNameNotStorable;
  }
  if (!form) return user_store_text::kPasswordNotStorable;
  // The loader reads a line whole only when it fits one piece; a longer record
  // would come back as a different password.
  if (name.size() + 1 + form->size() > kUserFileLineSize - 1) return user_store_text::kRecordTooLong;
  return nullptr;
}

// The file held open for appending, opened again when the file at the path
// is no longer the one held (replaced, moved away or removed by someone).
OpenFile* appender_for(const std::string& path, UserFileState& state, FileError& error) {
  if (!state.seen_fresh) state.seen_at_path = file_status(path);
  state.seen_fresh = false;
  if (state.appender.is_open() && state.seen_at_path && same_file(*state.seen_at_path, state.appender_status)) {
    return &state.appender;
  }
  state.appender = OpenFile::open(path, OpenFile::Mode::append, error);
  const std::optional<FileStatus> opened = state.appender.is_open() ? state.appender.status() : std::nullopt;
  if (!opened) {
    if (state.appender.is_open()) error = {FileErrorKind::other, "its status cannot be read"};
    state.appender.close();
    return nullptr;
  }
  state.appender_status = *opened;
  return &state.appender;
}

// True when the file `status` describes has content whose last byte is not a
// line feed, so that a record appended as it stands would run on from its
// last line. The tail of the last load answers when the table reflects it.
bool record_needs_line_end(const OpenFile& file, const UserFileState& state, const FileStatus& status) {
  if (status.size == 0) return false;
  if (state_is_current(state, status) && !state.tail.empty()) return state.tail.back() != '\n';
  return ends_inside_a_line(file, status);
}

// One attempt: lock the held file, catch up with other processes' records,
// and write the record unless another process has just written the same.
AppendResult append_locked(Log& log, OpenFile& file, const UserFileSettings& settings, UserFileState& state,
                           UserTable& table, std::string_view name, std::string_view password, std::string_view form,
                           FileError& error) {
  const std::string& path = settings.file_name;
  std::optional<FileStatus> before = file.status();
  if (!before) {
    error = {FileErrorKind::other, "its status cannot be read"};
    return AppendResult::failed;
  }
  if (!state_is_current(state, *before)) {
    // Helpers that were accepted for the same user at the same moment: the
    // first one to get the lock writes the record, the others find it here.
    read_into(log, file, path, *before, settings, state, table);
    const std::optional<std::string_view> stored = table.find(name);
    if (stored && passwords_match(*stored, password)) return AppendResult::already_there;
    before = file.status();
    if (!before) {
      error = {FileErrorKind::other, "its status cannot be read"};
      return AppendResult::failed;
    }
  }

  std::string record;
  record.reserve(name.size() + form.size() + 3);
  if (record_needs_line_end(file, state, *before)) record += '\n';
  record.append(name).append(1, ' ').append(form).append(1, '\n');
  if (!file.append(record, error)) {
    // A record cut short by a full disk or a size limit would read back as
    // another password, or a user without one: take the piece back.
    FileError cut;
    if (!file.truncate(before->size, cut)) log.error(user_store_text::kCutBackFailed, path.c_str(), cut.reason.c_str());
    return AppendResult::failed;
  }
  // The state now says the table reflects the file with this record in it.
  table.store(name, password);
  note_own_append(state, *before, file.status(), record);
  return AppendResult::written;
}

AppendResult append_once(Log& log, const UserFileSettings& settings, UserFileState& state, UserTable& table,
                         std::string_view name, std::string_view password, std::string_view form, FileError& error) {
  OpenFile* file = appender_for(settings.file_name, state, error);
  if (file == nullptr) return AppendResult::failed;
  if (!file->lock(settings.lock_wait_ms, error)) return AppendResult::failed;
  const AppendResult result = append_locked(log, *file, settings, state, table, name, password, form, error);
  file->unlock();
  // A file that failed is opened afresh for the next attempt; where a file
  // held open cannot be replaced, it is not held.
  if (result == AppendResult::failed || !open_files_stay_replaceable()) state.appender.close();
  return result;
}

}  // namespace

void user_file_load(Log& log, const UserFileSettings& settings, UserFileState& state, UserTable& table) {
  const std::string& path = settings.file_name;
  if (path.empty()) return;
  // The common case costs one status call: nothing has changed.
  const std::optional<FileStatus> current = file_status(path);
  state.seen_at_path = current;
  state.seen_fresh = true;
  if (current && state_is_current(state, *current)) return;

  FileError error;
  OpenFile file = OpenFile::open(path, OpenFile::Mode::read, error);
  const std::optional<FileStatus> opened = file.is_open() ? file.status() : std::nullopt;
  if (!opened) {
    // A missing file is the normal start; a FIFO, directory or device is a
    // mistake of the configuration, which the log names once.
    if (error.kind == FileErrorKind::not_regular) report_once(log, state, path, error);
    log.message(user_store_text::kLoadFailed, path.c_str());
    return;
  }
  if ((opened->others_may_read || opened->others_may_write) && !state.reported_open_to_others) {
    state.reported_open_to_others = true;
    log.error(user_store_text::kOpenToOthers, path.c_str());
  }
  read_into(log, file, path, *opened, settings, state, table);
}

AppendResult user_file_append(Log& log, const UserFileSettings& settings, UserFileState& state, UserTable& table,
                              Env& env, std::string_view name, std::string_view password) {
  const std::string& path = settings.file_name;
  if (path.empty()) return AppendResult::failed;
  // The scrambled form keeps only characters 1 to 126: any other byte (a
  // UTF-8 password, say) would read back as another password, which a later
  // load would then put in place of the right one.
  const bool keeps_password = std::all_of(password.begin(), password.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 126;
  });
  const std::optional<std::string> form =
      keeps_password ? scramble_with(scramble_key_schedule(settings.scramble_key, kScrambleSeed), password)
                     : std::nullopt;
  if (const char* reason = unstorable_reason(name, form)) {
    log.error(reason, std::string(name).c_str());
    return AppendResult::refused;
  }

  FileError error;
  for (int attempt = 0; attempt < kUserFileAppendAttempts; ++attempt) {
    error = {};
    const AppendResult result = append_once(log, settings, state, table, name, password, *form, error);
    if (result != AppendResult::failed) return result;
    // Only a file busy elsewhere, or an interrupted call, may be cured by a
    // pause; a read-only or full disk, a missing permission, a size limit
    // or something that is not a file stays as it is.
    if (!is_transient(error.kind)) break;
    env.sleep_ms(kUserFileAppendPauseMs);
  }
  report_once(log, state, path, error);
  log.message(user_store_text::kAppendFailed, path.c_str());
  return AppendResult::failed;
}

}  // namespace vantorix
