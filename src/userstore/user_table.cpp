#include "userstore/user_table.h"

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

void give(std::optional<std::string>* holder, const std::string& password) {
  if (holder != nullptr) *holder = password;
}

}  // namespace

UserTable& user_table() {
  static UserTable table;
  return table;
}

void user_table_reset() { user_table() = UserTable{}; }

void user_table_release() { user_table() = UserTable{}; }

int user_table_lookup(const char* name, const char* password, int mode, std::optional<std::string>* holder) {
  if (name == nullptr) return 0;
  if (holder != nullptr) holder->reset();
  auto& users = user_table().users;
  std::string_view key(name);

  if (mode == kUserFind || mode == kUserFindOrAppend) {
    auto found = users.find(key);
    if (found != users.end()) {
      std::string& stored = found->second;
      if (password == nullptr || passwords_match(stored, password)) {
        give(holder, stored);
        return 1;
      }
      if (mode == kUserFind || too_long_to_store(name, password)) {
        give(holder, stored);
        return 0;
      }
      // The server has just accepted a password other than the remembered
      // one: the user changed it, so remember the new one here and in the file.
      stored = password;
      log_message("Updated password in memory and file: {%s}", name);
      user_file_append(name, password);
      give(holder, stored);
      return -1;
    }
    if (mode == kUserFind || password == nullptr || too_long_to_store(name, password)) return 0;
    auto added = users.emplace(key, password).first;
    give(holder, added->second);
    log_message("Added user to memory and file: {%s}", name);
    user_file_append(name, password);
    return -1;
  }

  if (mode != kUserStoreMemory || password == nullptr) return 0;
  if (holder != nullptr) log_message("Locating '%s' in memory.", name);
  if (too_long_to_store(name, password)) return 0;
  auto found = users.find(key);
  if (found != users.end()) {
    found->second = password;
    if (holder != nullptr) log_message("Updated password in memory: {%s}", name);
    return -1;
  }
  auto added = users.emplace(key, password).first;
  give(holder, added->second);
  if (holder != nullptr) log_message("Added user to memory only: {%s}", name);
  return -1;
}

}  // namespace vantorix
