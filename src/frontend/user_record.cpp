#include "frontend/user_record.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "frontend/replies.h"
#include "logging/log.h"
#include "text/text_helpers.h"

namespace vantorix {
namespace {

// The computed path is built in a work area of this many characters; what
// would run past it is cut.
constexpr std::size_t kMaxPath = 255;

// The directory of a user whose record names none: the base, then one level
// per depth made of the next `chars` characters of the name before its last
// at sign (padded with underscores), then the whole name.
void build_hashed_directory(TextBuilder& path, const CoreSettings& settings, std::string_view user_name) {
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

void display_user(ReplyWriter& out, UserRecord& record, const char* status, const char* typed_name,
                  const CoreSettings& settings) {
  out.log().message(reply::kDisplayingUser);
  const bool computed = !record.directory || *record.directory == "config";
  std::array<char, kMaxPath + 1> hashed_area;
  TextBuilder hashed(hashed_area);
  const char* path = record.directory ? record.directory->c_str() : "config";
  if (computed && !settings.dir_hash_base.empty()) {
    build_hashed_directory(hashed, settings,
                           record.user_name ? std::string_view(*record.user_name) : std::string_view());
    path = hashed.c_str();
  }
  // "%s %s %s %d" built by hand: this line is written for every accepted user,
  // and copying three texts and one number costs far less than the formatter.
  // Like every formatted reply it is cut at kMaxReplyText characters.
  std::array<char, kMaxReplyText + 1> line_area;
  TextBuilder line(line_area);
  line.append(status != nullptr ? status : "-ERR");
  line.append(" ");
  line.append(typed_name != nullptr ? typed_name : "unknown");
  line.append(" ");
  line.append(path);
  line.append(" ");
  char number[16];
  const auto converted = std::to_chars(number, number + sizeof number, record.number);
  line.append(std::string_view(number, static_cast<std::size_t>(converted.ptr - number)));
  if (record.extra) {
    out.texts({line.c_str(), " ", record.extra->c_str(), kLineEnd});
  } else {
    out.texts({line.c_str(), kLineEnd});
  }
  free_user_record(&record);
}

}  // namespace vantorix
