#include "frontend/user_record.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "config/core_settings.h"
#include "logging/log.h"

namespace vantorix {
namespace {

// The computed path is built in a work area of this many characters; what
// would run past it is cut.
constexpr std::size_t kMaxPath = 255;

// A path that never grows past kMaxPath characters and needs no allocation.
class PathBuilder {
 public:
  void append(std::string_view text) {
    const std::size_t n = std::min(text.size(), kMaxPath - size_);
    text.copy(buffer_.data() + size_, n);
    size_ += n;
    buffer_[size_] = '\0';
  }
  const char* c_str() const { return buffer_.data(); }

 private:
  std::array<char, kMaxPath + 1> buffer_{};
  std::size_t size_ = 0;
};

// The directory of a user whose record names none: the base, then one level
// per depth made of the next `chars` characters of the name before its last
// at sign (padded with underscores), then the whole name.
void build_hashed_directory(PathBuilder& path, const CoreSettings& settings, std::string_view user_name) {
  const std::string_view local = user_name.substr(0, std::min(user_name.rfind('@'), user_name.size()));
  const std::size_t chars = static_cast<std::size_t>(std::clamp(settings.dir_hash_chars, 1, 5));
  const std::size_t depth = static_cast<std::size_t>(std::clamp(settings.dir_hash_depth, 1, 5));

  path.append(settings.dir_hash_base);
  const char last = settings.dir_hash_base.back();
  if (last != '\\' && last != '/') path.append("/");
  for (std::size_t level = 0; level < depth; ++level) {
    std::array<char, 6> piece{};
    for (std::size_t i = 0; i < chars; ++i) {
      const std::size_t at = level * chars + i;
      piece[i] = at < local.size() ? local[at] : '_';
    }
    piece[chars] = '/';
    path.append(std::string_view(piece.data(), chars + 1));
  }
  path.append(user_name);
}

}  // namespace

void free_user_record(UserRecord* record) {
  if (record == nullptr) return;
  for (std::optional<std::string>* text :
       {&record->user_name, &record->password, &record->reserved_2, &record->directory, &record->reserved_3,
        &record->reserved_4, &record->reserved_5, &record->extra}) {
    text->reset();
  }
}

void display_user(UserRecord& record, const char* status, const char* typed_name) {
  log_message("...Displaying User");
  const CoreSettings& settings = core_settings();
  const bool computed = !record.directory || *record.directory == "config";
  PathBuilder hashed;
  const char* path = record.directory ? record.directory->c_str() : "config";
  if (computed && !settings.dir_hash_base.empty()) {
    build_hashed_directory(hashed, settings,
                           record.user_name ? std::string_view(*record.user_name) : std::string_view());
    path = hashed.c_str();
  }
  // "%s %s %s %d" built by hand: this line is written for every accepted user,
  // and copying three texts and one number costs far less than the formatter.
  // Like every formatted reply it is cut at kMaxReplyText characters.
  constexpr std::size_t kLimit = kMaxReplyText;
  std::array<char, kLimit + 1> line;
  std::size_t length = 0;
  auto append = [&](std::string_view text) {
    const std::size_t n = std::min(text.size(), kLimit - length);
    text.copy(line.data() + length, n);
    length += n;
  };
  append(status != nullptr ? status : "-ERR");
  append(" ");
  append(typed_name != nullptr ? typed_name : "unknown");
  append(" ");
  append(path);
  append(" ");
  char number[16];
  const auto converted = std::to_chars(number, number + sizeof number, record.number);
  append(std::string_view(number, static_cast<std::size_t>(converted.ptr - number)));
  line[length] = '\0';
  reply_text(line.data());
  if (record.extra) {
    reply_text(" ");
    reply_text(record.extra->c_str());
  }
  reply_text("\n");
  free_user_record(&record);
}

}  // namespace vantorix
