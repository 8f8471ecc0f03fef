// Remembered users and their plain passwords, in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorix {

/// Modes of `user_table_lookup`.
enum UserTableMode : int {
  kUserFind = 0,          // find only
  kUserFindOrAppend = 1,  // after a RADIUS acceptance: add (and append to the file) when unknown
  kUserStoreMemory = -1,  // loader: update or add, never the file
};

/// The remembered users: name (exact bytes, case matters) to plain password.
/// Names are unique. Names and passwords live side by side in one text, and
/// an open-addressing index over their hashes finds a name with one or two
/// probes, so a lookup costs the same with ten users as with millions, and
/// loading a large user file allocates a handful of times, not per user.
class UserTable {
 public:
  /// The password of `name`, or nothing. The view is valid until the table changes.
  std::optional<std::string_view> find(std::string_view name) const;
  /// Stores `password` for `name`; returns true when the name was new.
  bool store(std::string_view name, std::string_view password);
  /// Number of users.
  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::uint64_t hash;
    std::size_t name;  // offsets into text_
    std::size_t password;
    std::uint32_t name_length;
    std::uint32_t password_length;
    std::uint32_t password_room;  // bytes reserved for the password in text_
  };
  struct Slot {
    std::uint32_t tag = 0;    // high bits of the hash
    std::uint32_t entry = 0;  // index + 1 into entries_; 0: free
  };

  std::size_t slot_of(std::string_view name, std::uint64_t hash) const;
  void grow();

  std::string text_;
  std::vector<Entry> entries_;
  std::vector<Slot> slots_;  // a power of two in size, at most half full
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
