// The table through which the front end reaches the authentication backend.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/command_words.h"
#include "frontend/user_record.h"

namespace vantorix {

/// Results of the integer slots: above 0 success, 0 a negative answer that
/// the dispatcher reports, below 0 the slot has answered (or failed) on its own.
enum SlotResult : int {
  kSlotAnswered = -1,
  kSlotNegative = 0,
  kSlotSuccess = 1,
};

/// What check and lookup give back.
enum class RecordKind {
  none,      // rejected or not found: the dispatcher answers -ERR
  accepted,  // `record` holds the user: the dispatcher shows it
  failed,    // the backend could not ask: the dispatcher writes `failure` as the answer
};

struct RecordResult {
  RecordKind kind = RecordKind::none;
  UserRecord record;              // meaningful only when accepted
  std::string failure;            // of failed: the answer line ("-DEAD..."), without its line end
  bool password_expired = false;  // of none: refused because the password has expired
  static RecordResult none() { return {}; }
  static RecordResult failed(std::string failure) { return {RecordKind::failed, {}, std::move(failure), false}; }
  static RecordResult accepted(UserRecord record) { return {RecordKind::accepted, std::move(record), {}, false}; }
};

/// What the test_config slot found: the lines to show, and the exit status.
struct TestConfigReport {
  std::vector<std::string> lines;  // each without its line end
  int status = 0;                  // 0 when every server answered validly
};

/// The backend's interface: a table of slots, each bound to the backend
/// object that does its work (a lambda that holds a reference to it), so
/// that the front end calls into the backend without knowing its type. An
/// empty slot is never called. Only the front end writes to standard
/// output: the slots give back what the parent is to be told.
struct BackendOps {
  /// Every configuration key the loader does not own, in file order; both
  /// texts are valid only during the call. True when the key is the
  /// backend's: the loader warns about every key that no one knows.
  std::function<bool(std::string_view key, std::string_view value)> config;
  std::function<void()> init;
  /// Called once the configuration file has been read, before the start-up
  /// log is written out: warns (Log::error) about settings that will not work
  /// as their writer meant, without refusing any.
  std::function<void()> check_settings;
  std::function<void()> free;
  /// kSlotNegative ends the program at once with status 0; anything else goes on.
  std::function<SlotResult()> open;
  std::function<void()> close;
  /// Above 0 gives "+OK", anything else "-ERR Failed Exit".
  std::function<SlotResult(CommandWords& words)> exit;
  std::function<RecordResult(CommandWords& words)> check;
  std::function<RecordResult(CommandWords& words)> lookup;
  /// The backend's own "+DATA" lines of help, after the commands the
  /// dispatcher lists from the filled slots.
  std::function<std::vector<std::string>(CommandWords& words)> help;
  /// Above 0 added, 0 refused (the dispatcher answers both), below 0 answered.
  std::function<SlotResult(CommandWords& words)> set;
  std::function<SlotResult(CommandWords& words)> mod;  // only listed by help, never called
  std::function<SlotResult(CommandWords& words)> del;  // as set
  /// 0 or more: number of items searched.
  std::function<int(CommandWords& words)> search;
  /// kSlotNegative: unknown command; anything else: handled (the slot wrote its own reply).
  std::function<SlotResult(CommandWords& words)> extended;
  /// 0 or more: items written; below 0: failed. The caller closes the file.
  std::function<int(std::FILE* file, int n)> gen_file;
  /// "+DATA" lines on the backend's health, each without its line end; info
  /// shows them after the settings it shows to the holder of the info password.
  std::function<std::vector<std::string>()> status;
  /// -test_config: the backend's settings in effect and what each of its
  /// servers answered (none asked when they could not be opened), for `user`
  /// and `password` when given (both or neither).
  std::function<TestConfigReport(const char* user, const char* password)> test_config;
};

}  // namespace vantorix
