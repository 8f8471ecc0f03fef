#include "userstore/user_table.h"

#include <cstring>
#include <functional>

#include "logging/log.h"
#include "userstore/scramble.h"
#include "userstore/user_file.h"

namespace vantorix {
namespace {

// Equal apart from the case of the ASCII letters A to Z.
bool passwords_match(std::string_view stored, std::string_view given) {
  if (stored.size() != given.size()) return false;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    char a = stored[i], b = given[i];
    if (a == b) continue;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// A password the user file could not hold is kept out of the table as well,
// so that memory and file never disagree about it.
bool too_long_to_store(const char* name, std::string_view password) {
  if (password.size() <= static_cast<std::size_t>(kMaxScrambledPassword)) return false;
  log_error("Password of {%s} is longer than %d characters and was not stored", name, kMaxScrambledPassword);
  return true;
}

void give(std::optional<std::string>* holder, std::string_view password) {
  if (holder != nullptr) holder->emplace(password);
}

std::uint64_t hash_name(std::string_view name) { return std::hash<std::string_view>{}(name); }
std::uint32_t tag_of(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); }

}  // namespace

std::size_t UserTable::slot_of(std::string_view name, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  const std::uint32_t tag = tag_of(hash);
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.entry == 0) return i;
    if (slot.tag != tag) continue;
    const Entry& entry = entries_[slot.entry - 1];
    if (entry.hash == hash && entry.name_length == name.size() &&
        std::memcmp(text_.data() + entry.name, name.data(), name.size()) == 0) {
      return i;
    }
  }
}

void UserTable::grow() {
  std::vector<Slot> slots(slots_.empty() ? 64 : slots_.size() * 2);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    std::size_t i = entries_[index].hash & mask;
    while (slots[i].entry != 0) i = (i + 1) & mask;
    slots[i] = {tag_of(entries_[index].hash), static_cast<std::uint32_t>(index + 1)};
  }
  slots_.swap(slots);
}

std::optional<std::string_view> UserTable::find(std::string_view name) const {
  if (slots_.empty()) return std::nullopt;
  const Slot& slot = slots_[slot_of(name, hash_name(name))];
  if (slot.entry == 0) return std::nullopt;
  const Entry& entry = entries_[slot.entry - 1];
  return std::string_view(text_.data() + entry.password, entry.password_length);
}

bool UserTable::store(std::string_view name, std::string_view password) {
  if ((entries_.size() + 1) * 2 > slots_.size()) grow();
  const std::uint64_t hash = hash_name(name);
  Slot& slot = slots_[slot_of(name, hash)];
  if (slot.entry != 0) {
    // A new password overwrites the old one when it fits in its room, so
    // reloading a file of unchanged users does not grow the text.
    Entry& entry = entries_[slot.entry - 1];
    if (password.size() > entry.password_room) {
      entry.password = text_.size();
      entry.password_room = static_cast<std::uint32_t>(password.size());
      text_.append(password);
    } else {
      std::memcpy(text_.data() + entry.password, password.data(), password.size());
    }
    entry.password_length = static_cast<std::uint32_t>(password.size());
    return false;
  }
  Entry entry{};
  entry.hash = hash;
  entry.name = text_.size();
  entry.name_length = static_cast<std::uint32_t>(name.size());
  text_.append(name);
  entry.password = text_.size();
  entry.password_length = entry.password_room = static_cast<std::uint32_t>(password.size());
  text_.append(password);
  entries_.push_back(entry);
  slot = {tag_of(hash), static_cast<std::uint32_t>(entries_.size())};
  return true;
}

UserTable& user_table() {
  static UserTable table;
  return table;
}

void user_table_reset() { user_table() = UserTable{}; }

void user_table_release() { user_table() = UserTable{}; }

int user_table_lookup(const char* name, const char* password, int mode, std::optional<std::string>* holder) {
  if (name == nullptr) return 0;
  if (holder != nullptr) holder->reset();
  UserTable& table = user_table();
  std::string_view key(name);

  if (mode == kUserFind || mode == kUserFindOrAppend) {
    if (auto stored = table.find(key)) {
      if (password == nullptr || passwords_match(*stored, password)) {
        give(holder, *stored);
        return 1;
      }
      if (mode == kUserFind || too_long_to_store(name, password)) {
        give(holder, *stored);
        return 0;
      }
      // The server has just accepted a password other than the remembered
      // one: the user changed it, so remember the new one here and in the file.
      table.store(key, password);
      log_message("Updated password in memory and file: {%s}", name);
      user_file_append(name, password);
      give(holder, password);
      return -1;
    }
    if (mode == kUserFind || password == nullptr || too_long_to_store(name, password)) return 0;
    table.store(key, password);
    give(holder, password);
    log_message("Added user to memory and file: {%s}", name);
    user_file_append(name, password);
    return -1;
  }

  if (mode != kUserStoreMemory || password == nullptr) return 0;
  if (holder != nullptr) log_message("Locating '%s' in memory.", name);
  if (too_long_to_store(name, password)) return 0;
  if (!table.store(key, password)) {
    if (holder != nullptr) log_message("Updated password in memory: {%s}", name);
    return -1;
  }
  give(holder, password);
  if (holder != nullptr) log_message("Added user to memory only: {%s}", name);
  return -1;
}

}  // namespace vantorix
