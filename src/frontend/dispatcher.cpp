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
#include "frontend/reply_writer.h"
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
void prepare_user_name(Log& log, std::string& name, bool lower, const CoreSettings& settings) {
  if (lower) ascii_lower_in_place(name);
  filter_user_name(log, name, settings);
}

// Shows an accepted record (display_user releases it), or the failure the
// backend gave back; none has been answered by the caller.
void answer_record(ReplyWriter& out, RecordResult& result, const std::string& typed, const CoreSettings& settings) {
  switch (result.kind) {
    case RecordKind::accepted:
      display_user(out, result.record, reply::kSuccessStatus, typed.c_str(), settings);
      break;
    case RecordKind::failed:
      out.write("%s%s", result.failure.c_str(), kLineEnd);
      break;
    case RecordKind::none:
      break;
  }
}

void do_help(ReplyWriter& out, const BackendOps& ops, CommandWords& words) {
  if (ops.help == nullptr) {
    out.line(reply::kNotSupported, "help", kLineEnd);
    return;
  }
  show_help(out, ops);
  for (const std::string& line : ops.help(words)) out.line("%s%s", line.c_str(), kLineEnd);
  if (ops.extended != nullptr) ops.extended(words);
  out.line(reply::kOk, kLineEnd);
}

void do_exit(ReplyWriter& out, const BackendOps& ops, CommandWords& words) {
  if (ops.exit == nullptr) {
    out.line(reply::kNotSupported, "exit", kLineEnd);
  } else if (ops.exit(words) > 0) {
    out.line(reply::kOk, kLineEnd);
  } else {
    out.line(reply::kFailedExit, kLineEnd);
  }
}

// Entry 1 is present and holds no '*'; otherwise answers and returns false.
bool usable_user_name(ReplyWriter& out, const CommandWords& words, const char* missing, const char* starred) {
  if (!words[1]) {
    out.line(missing, kLineEnd);
    return false;
  }
  if (has_star(*words[1])) {
    out.line(starred, kLineEnd);
    return false;
  }
  return true;
}

void do_check(ReplyWriter& out, const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.check == nullptr) {
    out.line(reply::kNotSupported, "check", kLineEnd);
    return;
  }
  if (!words[1] || !words[2]) {
    out.line(reply::kNoUserOrPassword, kLineEnd);
    return;
  }
  if (!usable_user_name(out, words, reply::kNoUserOrPassword, reply::kStarInName)) return;
  const std::string typed = *words[1];
  prepare_user_name(out.log(), *words[1], settings.lowercase_username, settings);
  RecordResult result = ops.check(words);
  if (result.kind == RecordKind::none) {
    out.line(result.password_expired ? reply::kPasswordExpired : reply::kPasswordWrong, typed.c_str(), kLineEnd);
  }
  answer_record(out, result, typed, settings);
}

void do_lookup(ReplyWriter& out, const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.lookup == nullptr) {
    out.line(reply::kNotSupported, "lookup", kLineEnd);
    return;
  }
  if (!usable_user_name(out, words, reply::kNoUserOrPassword, reply::kStarInName)) return;
  const std::string typed = *words[1];
  prepare_user_name(out.log(), *words[1], settings.lowercase_username, settings);
  RecordResult result = ops.lookup(words);
  if (result.kind == RecordKind::none) out.line(reply::kNotLocated, typed.c_str(), kLineEnd);
  answer_record(out, result, typed, settings);
}

void do_set(ReplyWriter& out, const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.set == nullptr) {
    out.line(reply::kNotSupported, "set", kLineEnd);
    return;
  }
  if (!words[1]) {
    out.line(reply::kNoUser, kLineEnd);
    return;
  }
  if (!words[2]) {
    out.line(reply::kNoPassword, kLineEnd);
    return;
  }
  if (!usable_user_name(out, words, reply::kNoUser, reply::kStarInNameSet)) return;
  const std::string typed = *words[1];
  prepare_user_name(out.log(), *words[1], settings.lowercase_username || settings.lowercase_username_set, settings);
  const int result = ops.set(words);
  if (result > 0) {
    out.line(reply::kAdded, typed.c_str(), kLineEnd);
  } else if (result == 0) {
    out.line(reply::kNotAdded, typed.c_str(), kLineEnd);
  }
}

void do_del(ReplyWriter& out, const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.del == nullptr) {
    out.line(reply::kNotSupported, "del", kLineEnd);
    return;
  }
  if (!usable_user_name(out, words, reply::kNoUser, reply::kStarInName)) return;
  const std::string typed = *words[1];
  prepare_user_name(out.log(), *words[1], settings.lowercase_username, settings);
  const int result = ops.del(words);
  if (result > 0) {
    out.line(reply::kDeleted, typed.c_str(), kLineEnd);
  } else if (result == 0) {
    out.line(reply::kNotAUser, typed.c_str(), kLineEnd);
  }
}

// Characters of a search text that narrow the search: those before its first
// at sign, wildcards not counted.
int significant_characters(const std::string& text) {
  const std::string_view local = std::string_view(text).substr(0, text.find('@'));
  return static_cast<int>(std::count_if(local.begin(), local.end(), [](char c) { return c != '*'; }));
}

void do_search(ReplyWriter& out, const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (ops.search == nullptr) {
    out.line(reply::kNotSupported, "search", kLineEnd);
    return;
  }
  if (!words[1]) {
    out.line(reply::kNoSearchField, kLineEnd);
    return;
  }
  if (settings.search_min > 0 && significant_characters(*words[1]) < settings.search_min) {
    out.line(reply::kSearchTooShort, kLineEnd);
    return;
  }
  const int result = ops.search(words);
  if (result >= 0) out.line(reply::kSearchDone, result, kLineEnd);
}

void do_info(ReplyWriter& out, const BackendOps& ops, const CoreSettings& settings, CommandWords& words) {
  if (show_info(out, words, settings, out.log().state(), ops)) {
    out.line(reply::kOk, kLineEnd);
  } else {
    out.line(reply::kInfoFailed, kLineEnd);
  }
}

void do_debug(ReplyWriter& out) {
  LogState& log = out.log().state();
  log.debug_mode = !log.debug_mode;
  out.line(log.debug_mode ? reply::kDebugOn : reply::kDebugOff, kLineEnd);
}

void do_unknown(ReplyWriter& out, const BackendOps& ops, CommandWords& words) {
  if (ops.extended != nullptr && ops.extended(words) != kSlotNegative) return;
  out.line(reply::kUnknownCommand, words[0]->c_str(), kLineEnd);
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

int dispatch_command(const BackendOps& ops, const CoreSettings& settings, ReplyWriter& out, std::string_view line) {
  line = line.substr(0, line.find('\0'));
  CommandWords words = split_command_line(line);
  switch (find_command(*words[0])) {
    case Command::exit:
    case Command::quit:
      do_exit(out, ops, words);
      return 1;
    case Command::help:
      do_help(out, ops, words);
      break;
    case Command::check:
      do_check(out, ops, settings, words);
      break;
    case Command::lookup:
      do_lookup(out, ops, settings, words);
      break;
    case Command::set:
      do_set(out, ops, settings, words);
      break;
    case Command::mod:
      out.line(reply::kNotSupported, "mod", kLineEnd);
      break;
    case Command::del:
      do_del(out, ops, settings, words);
      break;
    case Command::search:
      do_search(out, ops, settings, words);
      break;
    case Command::info:
      do_info(out, ops, settings, words);
      break;
    case Command::debug:
      do_debug(out);
      break;
    case Command::version:
      out.write(reply::kVersion, kProductName, kVersionText, kLineEnd);
      out.write(reply::kOk, kLineEnd);
      break;
    case Command::unknown:
      do_unknown(out, ops, words);
      break;
  }
  out.flush();
  return 0;
}

}  // namespace vantorix
