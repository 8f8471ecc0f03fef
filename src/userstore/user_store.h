// The local user store: the remembered users in memory, the user file they
// are kept in, and what a check does with a user the server has accepted.
#pragma once

#include <string>

#include "userstore/user_file.h"
#include "userstore/user_table.h"

namespace vantorix {

/// Everything the user store keeps. Its defaults are those of a fresh
/// process; the backend hands the file name over from its configuration.
struct UserStore {
  UserFileSettings settings;
  UserTable table;
  UserFileState file;  // what the last load of the file saw
};

/// What remembering an accepted user did.
enum class Remembered {
  added,             // new user, in memory and in the file
  password_changed,  // known user with another password: the new one is in memory and appended
  unchanged,         // known user, same password (ignoring letter case): nothing written
  found_in_file,     // another process had just appended the same: read from the file, nothing written
  memory_only,       // added or changed in memory; the file refused the record or could not be written
  not_kept,          // password longer than kMaxScrambledPassword: kept nowhere, error logged
};

/// After the server has accepted `password` for `name`: remembers the user in
/// the table and appends a record to the user file unless the table already
/// holds that password (also after reading what other processes have just
/// appended, see `user_file_append`). Logs "Added user to memory and file:
/// {%s}" or "Updated password in memory and file: {%s}" before the append.
/// The user stays in memory whatever becomes of the record.
Remembered user_store_remember(Log& log, UserStore& store, Env& env, const std::string& name,
                               const std::string& password);

}  // namespace vantorix
