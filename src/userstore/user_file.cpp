#include "userstore/user_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "logging/log.h"
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
  PieceReader(std::FILE* file, std::int64_t offset)
      : file_(file), chunk_(std::make_unique<char[]>(kReadChunk)), offset_(offset) {}

  /// The next piece, terminated, in `piece` (kUserFileLineSize bytes); its
  /// length in bytes (zero bytes included) in `length`. False at the end of
  /// the file or on a read error.
  bool next(char* piece, std::size_t& length) {
    length = 0;
    while (length < kUserFileLineSize - 1) {
      if (pos_ == end_) {
        end_ = std::fread(chunk_.get(), 1, kReadChunk, file_);
        pos_ = 0;
        if (end_ == 0) {
          if (std::ferror(file_)) failed_ = true;
          break;
        }
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
  std::FILE* file_;
  std::unique_ptr<char[]> chunk_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::int64_t offset_;
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

bool same_file(const FileStatus& a, const FileStatus& b) { return a.device == b.device && a.inode == b.inode; }

std::string last_bytes(std::string_view text) {
  std::size_t keep = std::min<std::size_t>(text.size(), kUserFileTailSize);
  return std::string(text.substr(text.size() - keep));
}

// True when the bytes just before the end of the last load are still there.
bool tail_unchanged(std::FILE* file, const UserFileState& state) {
  auto count = static_cast<std::int64_t>(state.tail.size());
  if (state.read_end < count) return false;
  if (count == 0) return true;
  char bytes[kUserFileTailSize];
  if (!file_seek(file, state.read_end - count)) return false;
  if (std::fread(bytes, 1, state.tail.size(), file) != state.tail.size()) return false;
  return std::memcmp(bytes, state.tail.data(), state.tail.size()) == 0;
}

// The last `count` bytes before `end`, or "" when they cannot be read.
std::string read_tail(std::FILE* file, std::int64_t end) {
  auto count = std::min<std::int64_t>(end, kUserFileTailSize);
  std::string tail(static_cast<std::size_t>(count), '\0');
  if (count == 0) return tail;
  if (!file_seek(file, end - count)) return {};
  if (std::fread(tail.data(), 1, tail.size(), file) != tail.size()) return {};
  return tail;
}

// The table reflects the file exactly as `before` describes it.
bool state_is_current(const UserFileState& state, const std::optional<FileStatus>& before) {
  return state.loaded && before && *before == state.status && before->size == state.read_end;
}

// True when the file has content whose last byte is not a line feed, so that
// a record appended as it stands would run on from its last line.
bool ends_inside_a_line(const std::string& path, const UserFileState& state, const std::optional<FileStatus>& before) {
  if (!before || before->size == 0) return false;
  if (state_is_current(state, before)) return state.line_start != state.read_end;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  int last = std::fseek(file, -1, SEEK_END) == 0 ? std::fgetc(file) : EOF;
  std::fclose(file);
  return last != EOF && last != '\n';
}

// After this process appended `record` to a file that the table reflected
// exactly, and nothing else has touched the file in between, the table still
// reflects it: remember the new end so that the next load reads nothing.
void note_own_append(const std::string& path, UserFileState& state, const std::optional<FileStatus>& before,
                     std::string_view record) {
  if (!state_is_current(state, before)) return;
  auto after = file_status(path);
  if (!after || !same_file(*after, *before) ||
      after->size != before->size + static_cast<std::int64_t>(record.size())) {
    return;
  }
  state.status = *after;
  state.read_end = after->size;
  state.line_start = after->size;
  state.tail = last_bytes(state.tail + std::string(record));
}

}  // namespace

void user_file_load(const UserFileSettings& settings, UserFileState& state, UserTable& table) {
  const std::string& path = settings.file_name;
  if (path.empty()) return;

  auto current = file_status(path);
  bool may_resume = false;
  if (state.loaded && current) {
    if (*current == state.status && current->size == state.read_end) return;
    may_resume = same_file(*current, state.status) && current->size > state.read_end;
  }

  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    log_message(user_store_text::kLoadFailed, path.c_str());
    return;
  }
  log_message(user_store_text::kLoading, path.c_str());

  // A file that has only grown is read from the start of the line the last
  // load ended in; anything else is read whole. Either way the table ends up
  // as a full read would leave it, because later lines win.
  std::int64_t start = may_resume && tail_unchanged(file, state) ? state.line_start : 0;
  if (!file_seek(file, start)) start = -1;

  PieceReader reader(file, start);
  std::int64_t line_start = start;
  if (start >= 0) {
    const ScrambleKey key = scramble_key_schedule(settings.scramble_key, kScrambleSeed);
    std::string plain;
    char piece[kUserFileLineSize];
    std::size_t length = 0;
    while (reader.next(piece, length)) {
      bool line_ended = piece[length - 1] == '\n';
      store_piece(piece, key, table, plain);
      if (line_ended) line_start = reader.offset();
    }
  }
  if (start < 0 || reader.failed()) {
    std::fclose(file);
    log_message(user_store_text::kLoadFailed, path.c_str());
    return;
  }
  std::string tail = read_tail(file, reader.offset());
  std::fclose(file);

  state.loaded = true;
  state.read_end = reader.offset();
  state.line_start = line_start;
  state.tail = std::move(tail);
  if (auto after = file_status(path)) state.status = *after;
  log_message(user_store_text::kLoaded, path.c_str());
}

AppendResult user_file_append(const UserFileSettings& settings, UserFileState& state, std::string_view name,
                              std::string_view password) {
  const std::string& path = settings.file_name;
  if (path.empty()) return AppendResult::failed;
  const std::string shown(name);  // for the log texts
  // A name holding a space or a line end would be cut short when read back,
  // and one beginning with '#' would be read back as a comment.
  if (name.find_first_of(std::string_view(" \r\n\0", 4)) != std::string_view::npos ||
      (!name.empty() && name[0] == '#')) {
    log_error(user_store_text::kNameNotStorable, shown.c_str());
    return AppendResult::refused;
  }
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
  if (!form) {
    log_error(user_store_text::kPasswordNotStorable, shown.c_str());
    return AppendResult::refused;
  }
  // The loader reads a line whole only when it fits one piece; a longer record
  // would come back as a different password.
  if (name.size() + 1 + form->size() > kUserFileLineSize - 1) {
    log_error(user_store_text::kRecordTooLong, shown.c_str());
    return AppendResult::refused;
  }

  auto before = file_status(path);
  std::string record;
  record.reserve(name.size() + form->size() + 3);
  if (ends_inside_a_line(path, state, before)) record += '\n';
  record.append(name).append(1, ' ').append(*form).append(1, '\n');

  for (int attempt = 0; attempt < kUserFileAppendAttempts; ++attempt) {
    if (append_private(path, record)) {
      note_own_append(path, state, before, record);
      return AppendResult::written;
    }
    sleep_milliseconds(kUserFileAppendPauseMs);
  }
  log_message(user_store_text::kAppendFailed, path.c_str());
  return AppendResult::failed;
}

}  // namespace vantorix
