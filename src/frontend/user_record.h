// What a backend's check or lookup hands back for an accepted or found user,
// and the one success line that shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/core_settings.h"
#include "frontend/reply_writer.h"

namespace vantorix {

/// Eleven members in a fixed order; texts are owned and may be absent.
struct UserRecord {
  std::optional<std::string> user_name;  // as the backend resolved it
  std::optional<std::string> password;   // the password that was checked
  std::int32_t reserved_1 = 0;
  std::optional<std::string> reserved_2;
  std::optional<std::string> directory;  // absent or "config": computed from dir_hash
  std::optional<std::string> reserved_3;
  std::optional<std::string> reserved_4;
  std::optional<std::string> reserved_5;
  std::int32_t reserved_6 = 0;
  std::optional<std::string> extra;  // written after the number, preceded by a blank
  std::int32_t number = 0;           // ends the display line
};

/// Releases every text member of `record` (integers stay). Null is accepted.
void free_user_record(UserRecord* record);

/// Writes the success line "%s %s %s %d" (status, typed name, directory,
/// number), then " " and `extra` when present, then the line end, through the
/// reply writers; then releases the record's texts. A record without a
/// directory (or with "config") gets one computed from the dir_hash settings.
/// A null `status` shows "-ERR", a null `typed_name` shows "unknown".
void display_user(ReplyWriter& out, UserRecord& record, const char* status, const char* typed_name,
                  const CoreSettings& settings);

}  // namespace vantorix
