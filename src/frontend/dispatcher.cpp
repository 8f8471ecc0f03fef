#include "frontend/dispatcher.h"

#include <algorithm>
#include <array>
#include <string>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/command_words.h"
#include "frontend/help_info.h"
#include "frontend/product.h"
#include "frontend/user_record.h"
#include "logging/log.h"
#include "platform/console.h"

namespace vantorix {
namespace {

constexpr std::array<std::string_view, kCommandCount> kCommandNames = {
    "help", "exit", "check", "lookup", "set",  "mod",
    "del",  "search", "info", "debug", "quit", "version",
};

char to_lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void lower_case(std::string& text) {
  for (char& c : text) c = to_lower_ascii(c);
}

bool has_star(const std::string& text) { return text.find('*') != std::string::npos; }

// The user name as the slot should see it: lower-cased when configured, then
// filtered. The caller has already kept the name as typed for its replies.
void prepare_user_name(std::string& name, bool lower) {
  if (lower) lower_case(name);
  filter_user_name(name);
}

// Shows an accepted record, or answers `none_reply` for none; "failed" means
// the slot has answered already. The record is released either way.
void answer_record(RecordResult& result, const std::string& typed) {
  switch (result.kind) {
    case RecordKind::accepted:
      display_user(result.record, "+OK", typed.c_str());
      free_user_record(&result.record);
      break;
    case RecordKind::failed:
    case RecordKind::none:
      free_user_record(&result.record);
      break;
  }
}

void do_help(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.help == nullptr) {
    reply_line("-ERR 'help' is not supported%s", kLineEnd);
    return;
  }
  ops.help(words);
  if (ops.extended != nullptr) ops.extended(words);
  reply_line("+OK%s", kLineEnd);
}

void do_exit(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.exit == nullptr) {
    reply_line("-ERR 'exit' is not supported%s", kLineEnd);
  } else if (ops.exit(words) > 0) {
    reply_line("+OK%s", kLineEnd);
  } else {
    reply_line("-ERR Failed Exit%s", kLineEnd);
  }
}

void do_check(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.check == nullptr) {
    reply_line("-ERR 'check' is not supported%s", kLineEnd);
    return;
  }
  if (!words[1] || !words[2]) {
    reply_line("-ERR No username/password provided%s", kLineEnd);
    return;
  }
  if (has_star(*words[1])) {
    reply_line("-ERR Not allow '*' in user names%s", kLineEnd);
    return;
  }
  const std::string typed = *words[1];
  prepare_user_name(*words[1], core_settings().lowercase_username);
  dispatch_state().password_expired = false;
  RecordResult result = ops.check(words);
  if (result.kind == RecordKind::none) {
    if (dispatch_state().password_expired) {
      reply_line("-ERR %s password expired%s", typed.c_str(), kLineEnd);
    } else {
      reply_line("-ERR %s password wrong or not a valid user%s", typed.c_str(), kLineEnd);
    }
  }
  answer_record(result, typed);
}

void do_lookup(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.lookup == nullptr) {
    reply_line("-ERR 'lookup' is not supported%s", kLineEnd);
    return;
  }
  if (!words[1]) {
    reply_line("-ERR No username/password provided%s", kLineEnd);
    return;
  }
  if (has_star(*words[1])) {
    reply_line("-ERR Not allow '*' in user names%s", kLineEnd);
    return;
  }
  const std::string typed = *words[1];
  prepare_user_name(*words[1], core_settings().lowercase_username);
  RecordResult result = ops.lookup(words);
  if (result.kind == RecordKind::none) reply_line("-ERR %s Not Located%s", typed.c_str(), kLineEnd);
  answer_record(result, typed);
}

void do_set(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.set == nullptr) {
    reply_line("-ERR 'set' is not supported%s", kLineEnd);
    return;
  }
  if (!words[1]) {
    reply_line("-ERR No username provided%s", kLineEnd);
    return;
  }
  if (!words[2]) {
    reply_line("-ERR No password provided%s", kLineEnd);
    return;
  }
  if (has_star(*words[1])) {
    reply_line("-ERR Sorry not allowed '*' in user names%s", kLineEnd);
    return;
  }
  const std::string typed = *words[1];
  const CoreSettings& settings = core_settings();
  prepare_user_name(*words[1], settings.lowercase_username || settings.lowercase_username_set);
  const int result = ops.set(words);
  if (result > 0) {
    reply_line("+OK '%s' has been added to database%s", typed.c_str(), kLineEnd);
  } else if (result == 0) {
    reply_line("-ERR '%s' Failed to add (check database for fields match)%s", typed.c_str(), kLineEnd);
  }
}

void do_del(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.del == nullptr) {
    reply_line("-ERR 'del' is not supported%s", kLineEnd);
    return;
  }
  if (!words[1]) {
    reply_line("-ERR No username provided%s", kLineEnd);
    return;
  }
  if (has_star(*words[1])) {
    reply_line("-ERR Not allow '*' in user names%s", kLineEnd);
    return;
  }
  const std::string typed = *words[1];
  prepare_user_name(*words[1], core_settings().lowercase_username);
  const int result = ops.del(words);
  if (result > 0) {
    reply_line("+OK '%s' has been deleted%s", typed.c_str(), kLineEnd);
  } else if (result == 0) {
    reply_line("-ERR '%s' is not a valid user%s", typed.c_str(), kLineEnd);
  }
}

// Characters of a search text that narrow the search: those before its first
// at sign, wildcards not counted.
int significant_characters(const std::string& text) {
  const std::string_view local = std::string_view(text).substr(0, text.find('@'));
  return static_cast<int>(std::count_if(local.begin(), local.end(), [](char c) { return c != '*'; }));
}

void do_search(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.search == nullptr) {
    reply_line("-ERR 'search' is not supported%s", kLineEnd);
    return;
  }
  if (!words[1]) {
    reply_line("-ERR No search field provided%s", kLineEnd);
    return;
  }
  const int minimum = core_settings().search_min;
  if (minimum > 0 && significant_characters(*words[1]) < minimum) {
    reply_line("-ERR Search Field to short%s", kLineEnd);
    return;
  }
  const int result = ops.search(words);
  if (result >= 0) reply_line("+OK Search Completed (out of %d items)%s", result, kLineEnd);
}

void do_info(CommandWords& words) {
  if (show_info(words) != 0) {
    reply_line("+OK%s", kLineEnd);
  } else {
    reply_line("+ERR Info Display Failed%s", kLineEnd);
  }
}

void do_debug() {
  LogState& log = log_state();
  log.debug_mode = !log.debug_mode;
  reply_line(log.debug_mode ? "+OK Debug Turned ON%s" : "+OK Debug Turned OFF%s", kLineEnd);
}

void do_unknown(CommandWords& words) {
  const BackendOps& ops = backend_ops();
  if (ops.extended != nullptr && ops.extended(words) != 0) return;
  reply_line("-ERR Command not supported '%.20s'%s", words[0]->c_str(), kLineEnd);
}

}  // namespace

Command find_command(std::string_view word) {
  for (int i = 0; i < kCommandCount; ++i) {
    const std::string_view name = kCommandNames[i];
    if (word.size() != name.size() || word.empty() || word[0] != name[0]) continue;
    if (std::equal(word.begin(), word.end(), name.begin(),
                   [](char a, char b) { return to_lower_ascii(a) == b; })) {
      return static_cast<Command>(i);
    }
  }
  return Command::unknown;
}

DispatchState& dispatch_state() {
  static DispatchState state;
  return state;
}

int dispatch_command(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  CommandWords words = split_command_line(line);
  switch (find_command(*words[0])) {
    case Command::exit:
    case Command::quit:
      do_exit(words);
      return 1;
    case Command::help:
      do_help(words);
      break;
    case Command::check:
      do_check(words);
      break;
    case Command::lookup:
      do_lookup(words);
      break;
    case Command::set:
      do_set(words);
      break;
    case Command::mod:
      reply_line("-ERR 'mod' is not supported%s", kLineEnd);
      break;
    case Command::del:
      do_del(words);
      break;
    case Command::search:
      do_search(words);
      break;
    case Command::info:
      do_info(words);
      break;
    case Command::debug:
      do_debug();
      break;
    case Command::version:
      console_write("+OK Velkor's %s Version %s\n+OK\n", kProductName, kVersionText);
      break;
    case Command::unknown:
      do_unknown(words);
      break;
  }
  console_flush();
  return 0;
}

}  // namespace vantorix
