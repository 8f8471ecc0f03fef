#include "userstore/user_table.h"

#include <cstring>
#include <functional>

#include "text/text_helpers.h"

namespace vantorix {
namespace {

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

bool passwords_match(std::string_view stored, std::string_view given) { return equals_nocase(stored, given); }

std::optional<std::string> user_table_lookup(const UserTable& table, std::string_view name) {
  const std::optional<std::string_view> stored = table.find(name);
  if (!stored) return std::nullopt;
  return std::string(*stored);
}

}  // namespace vantorix
