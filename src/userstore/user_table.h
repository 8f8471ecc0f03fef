// Remembered users and their plain passwords, in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorix {

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

/// Equal apart from the case of the ASCII letters A to Z: how a given
/// password is compared with a remembered one.
bool passwords_match(std::string_view stored, std::string_view given);

/// A copy of the password that `table` remembers for `name`, or nothing.
std::optional<std::string> user_table_lookup(const UserTable& table, std::string_view name);

}  // namespace vantorix
