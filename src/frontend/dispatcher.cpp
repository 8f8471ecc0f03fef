#include "frontend/dispatcher.h"

#include <algorithm>
#include <array>
#include <string>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/command_words.h"
#include "frontend/help_info.h"
#include "frontend/product.h"
#include "frontend/replies.h"
#include "frontend/user_record.h"
#include "logging/log.h"
#include "platform/console.h"
#include "text/text_helpers.h"

namespace vantorix {
namespace {

constexpr std::array<std::string_view, kCommandCount> kCommandNames = {
    "help", "exit", "check", "lookup", "set",  "mod",
    "del",  "search", "info", "debug", "quit", "version",
};

bool has_star(const std::string& text) { return text.find('*') != std::string::npos; }

// The user name as the slot should see it: lower-cased when configured, then
// filtered. The caller has already kept the name as typed for its replies.
void prepare_user_name(std::string& name, bool lower, const CoreSettings& settings) {
  if (lower) ascii_lower_in_place(name);
  filter_user_name(name, settings);
}

// Shows an accepted record, or the failure the backend gave back; none has
// been answered by the caller.
void answer_record(RecordResult& result, const std::string& typed, const CoreSettings& settings) {
  switch (result.kind) {
    case RecordKind::accepted:
      display_user(result.record, reply::kSuccessStatus, typed.c_str(), settings);
      break;
    case RecordKind::failed:
      console_write("%s%s", result.failure.c_str(), kLineEnd);
      break;
    case RecordKind::none:
      break;
  }
  free_user_record(&result.record);
}

void do_help(const BackendOps& ops, CommandWords& words) {
  if (ops.help == nullptr) {
    reply_line(reply::kNotSupported, "help", kLineEnd);
    return;
  }
  show_help(ops);
  for (const std::string& line : ops.help(words)) reply_line("%s%s", line.c_str(), kLineEnd);
  if (ops.extended != nullptr) ops.extended(words);
  reply_line(reply::kOk, kLineEnd);
}

void do_exit(const BackendOps& ops, CommandWords& words) {
  if (ops.exit == nullptr) {
    reply_line(reply::kNotSupported, "exit", kLineEnd);
  } else if (ops.exit(words) > 0) {
    reply_line(reply::kOk, kLineEnd);
  } else {
    reply_line(reply::kFailedExit, kLineEnd);
  }
}

// Entry 1 is present and holds no '*'; otherwise answers and returns false.
bool usable_user_name(const CommandWords& words, const char* missing, const char* starred) {
  if (!words[1]) {
    reply_line(missing, kLineEnd);
    return false;
  }
  if (has_star(*words[1])) {
    reply_line(starred, kLineEnd);
    return false;
  }
  return true;
}

void do_check(const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.check == nullptr) {
    reply_line(reply::kNotSupported, "check", kLineEnd);
    return;
  }
  if (!words[1] || !words[2]) {
    reply_line(reply::kNoUserOrPassword, kLineEnd);
    return;
  }
  if (!usable_user_name(words, reply::kNoUserOrPassword, reply::kStarInName)) return;
  const std::string typed = *words[1];
  prepare_user_name(*words[1], settings.lowercase_username, settings);
  RecordResult result = ops.check(words);
  if (result.kind == RecordKind::none) {
    reply_line(result.password_expired ? reply::kPasswordExpired : reply::kPasswordWrong, typed.c_str(), kLineEnd);
  }
  answer_record(result, typed, settings);
}

void do_lookup(const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.lookup == nullptr) {
    reply_line(reply::kNotSupported, "lookup", kLineEnd);
    return;
  }
  if (!usable_user_name(words, reply::kNoUserOrPassword, reply::kStarInName)) return;
  const std::string typed = *words[1];
  prepare_user_name(*words[1], settings.lowercase_username, settings);
  RecordResult result = ops.lookup(words);
  if (result.kind == RecordKind::none) reply_line(reply::kNotLocated, typed.c_str(), kLineEnd);
  answer_record(result, typed, settings);
}

void do_set(const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.set == nullptr) {
    reply_line(reply::kNotSupported, "set", kLineEnd);
    return;
  }
  if (!words[1]) {
    reply_line(reply::kNoUser, kLineEnd);
    return;
  }
  if (!words[2]) {
    reply_line(reply::kNoPassword, kLineEnd);
    return;
  }
  if (!usable_user_name(words, reply::kNoUser, reply::kStarInNameSet)) return;
  const std::string typed = *words[1];
  prepare_user_name(*words[1], settings.lowercase_username || settings.lowercase_username_set, settings);
  const int result = ops.set(words);
  if (result > 0) {
    reply_line(reply::kAdded, typed.c_str(), kLineEnd);
  } else if (result == 0) {
    reply_line(reply::kNotAdded, typed.c_str(), kLineEnd);
  }
}

void do_del(const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.del == nullptr) {
    reply_line(reply::kNotSupported, "del", kLineEnd);
    return;
  }
  if (!usable_user_name(words, reply::kNoUser, reply::kStarInName)) return;
  const std::string typed = *words[1];
  prepare_user_name(*words[1], settings.lowercase_username, settings);
  const int result = ops.del(words);
  if (result > 0) {
    reply_line(reply::kDeleted, typed.c_str(), kLineEnd);
  } else if (result == 0) {
    reply_line(reply::kNotAUser, typed.c_str(), kLineEnd);
  }
}

// Characters of a search text that narrow the search: those before its first
// at sign, wildcards not counted.
int significant_characters(const std::string& text) {
  const std::string_view local = std::string_view(text).substr(0, text.find('@'));
  return static_cast<int>(std::count_if(local.begin(), local.end(), [](char c) { return c != '*'; }));
}

void do_search(const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.search == nullptr) {
    reply_line(reply::kNotSupported, "search", kLineEnd);
    return;
  }
  if (!words[1]) {
    reply_line(reply::kNoSearchField, kLineEnd);
    return;
  }
  if (settings.search_min > 0 && significant_characters(*words[1]) < settings.search_min) {
    reply_line(reply::kSearchTooShort, kLineEnd);
    return;
  }
  const int result = ops.search(words);
  if (result >= 0) reply_line(reply::kSearchDone, result, kLineEnd);
}

void do_info(const BackendOps& ops, const CoreSettings& settings, const LogState& log, CommandWords& words) {
  if (show_info(words, settings, log, ops)) {
    reply_line(reply::kOk, kLineEnd);
  } else {
    reply_line(reply::kInfoFailed, kLineEnd);
  }
}

void do_debug(LogState& log) {
  log.debug_mode = !log.debug_mode;
  reply_line(log.debug_mode ? reply::kDebugOn : reply::kDebugOff, kLineEnd);
}

void do_unknown(const BackendOps& ops, CommandWords& words) {
  if (ops.extended != nullptr && ops.extended(words) != kSlotNegative) return;
  reply_line(reply::kUnknownCommand, words[0]->c_str(), kLineEnd);
}

}  // namespace

Command find_command(std::string_view word) {
  for (int i = 0; i < kCommandCount; ++i) {
    const std::string_view name = kCommandNames[i];
    if (word.size() != name.size() || word.empty() || word[0] != name[0]) continue;
    if (std::equal(word.begin(), word.end(), name.begin(),
                   [](char a, char b) { return ascii_lower(a) == b; })) {
      return static_cast<Command>(i);
    }
  }
  return Command::unknown;
}

int dispatch_command(const BackendOps& ops, const CoreSettings& settings, LogState& log, std::string_view line) {
  line = line.substr(0, line.find('\0'));
  CommandWords words = split_command_line(line);
  switch (find_command(*words[0])) {
    case Command::exit:
    case Command::quit:
      do_exit(ops, words);
      return 1;
    case Command::help:
      do_help(ops, words);
      break;
    case Command::check:
      do_check(ops, settings, words);
      break;
    case Command::lookup:
      do_lookup(ops, settings, words);
      break;
    case Command::set:
      do_set(ops, settings, words);
      break;
    case Command::mod:
      reply_line(reply::kNotSupported, "mod", kLineEnd);
      break;
    case Command::del:
      do_del(ops, settings, words);
      break;
    case Command::search:
      do_search(ops, settings, words);
      break;
    case Command::info:
      do_info(ops, settings, log, words);
      break;
    case Command::debug:
      do_debug(log);
      break;
    case Command::version:
      console_write(reply::kVersion, kProductName, kVersionText, kLineEnd);
      console_write(reply::kOk, kLineEnd);
      break;
    case Command::unknown:
      do_unknown(ops, words);
      break;
  }
  console_flush();
  return 0;
}

}  // namespace vantorix
