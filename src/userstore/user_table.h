// Remembered users and their plain passwords, in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vantorix {

/// Modes of `user_table_lookup`.
enum UserTableMode : int {
  kUserFind = 0,          // find only
  kUserFindOrAppend = 1,  // after a RADIUS acceptance: add (and append to the file) when unknown
  kUserStoreMemory = -1,  // loader: update or add, never the file
};

/// Hashes names as views, so that a lookup by a plain text allocates nothing.
struct UserNameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const noexcept { return std::hash<std::string_view>{}(name); }
};

/// The remembered users: name (exact bytes, case matters) to plain password.
/// Names are unique, so a lookup costs the same however many users there are.
struct UserTable {
  std::unordered_map<std::string, std::string, UserNameHash, std::equal_to<>> users;
};

/// The process-wide table; `user_table_reset` empties it.
UserTable& user_table();

/// Finds, adds or updates `name` as `mode` says. `password` may be null.
/// `holder`, when given, is cleared first and may receive a copy of a password.
/// Returns 1 found (and the password matched, ignoring ASCII letter case),
/// 0 not found / wrong password / nothing done, -1 stored.
///
/// Mode 1 with a password that differs from the stored one (the user changed
/// it and the server accepted the new one) replaces the stored password,
/// appends a new record to the user file, gives the holder the new password
/// and returns -1. Passwords longer than 511 characters are never stored:
/// they are logged as an error and the result is 0.
int user_table_lookup(const char* name, const char* password, int mode, std::optional<std::string>* holder);

/// Empties the table.
void user_table_reset();

/// Releases every name and password.
void user_table_release();

}  // namespace vantorix
