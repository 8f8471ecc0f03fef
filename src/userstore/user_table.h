// Remembered users and their plain passwords, in memory.
#pragma once

#include <optional>
#include <string>

namespace vantorix {

/// Modes of `user_table_lookup`.
enum UserTableMode : int {
  kUserFind = 0,          // find only
  kUserFindOrAppend = 1,  // after a RADIUS acceptance: add (and append to the file) when unknown
  kUserStoreMemory = -1,  // loader: update or add, never the file
};

/// Finds, adds or updates `name` as `mode` says. `password` may be null.
/// `holder`, when given, is cleared first and may receive a copy of a password.
/// Returns 1 found (and the password matched, ignoring ASCII letter case),
/// 0 not found / wrong password / nothing done, -1 stored.
int user_table_lookup(const char* name, const char* password, int mode, std::optional<std::string>* holder);

/// Empties the table.
void user_table_reset();

/// Releases every name and password.
void user_table_release();

}  // namespace vantorix
