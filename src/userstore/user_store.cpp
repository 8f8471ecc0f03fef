#include "userstore/user_store.h"

#include "logging/log.h"
#include "userstore/scramble.h"
#include "userstore/user_store_texts.h"

namespace vantorix {

Remembered user_store_remember(Log& log, UserStore& store, Env& env, const std::string& name,
                               const std::string& password) {
  const std::optional<std::string_view> stored = store.table.find(name);
  if (stored && passwords_match(*stored, password)) return Remembered::unchanged;
  // A password the user file could not hold is kept out of the table as well,
  // so that memory and file never disagree about it.
  if (password.size() > static_cast<std::size_t>(kMaxScrambledPassword)) {
    log.error(user_store_text::kPasswordTooLong, name.c_str(), kMaxScrambledPassword);
    return Remembered::not_kept;
  }
  // A known user whose accepted password differs from the remembered one has
  // changed it: the new one is remembered here and in the file.
  const bool known = stored.has_value();
  log.message(known ? user_store_text::kUpdated : user_store_text::kAdded, name.c_str());
  const AppendResult appended = user_file_append(log, store.settings, store.file, store.table, env, name, password);
  if (appended != AppendResult::written) store.table.store(name, password);
  switch (appended) {
    case AppendResult::written:
      return known ? Remembered::password_changed : Remembered::added;
    case AppendResult::already_there:
      log.message(user_store_text::kFoundInFile, name.c_str());
      return Remembered::found_in_file;
    case AppendResult::refused:
    case AppendResult::failed:
      break;
  }
  return Remembered::memory_only;
}

}  // namespace vantorix
