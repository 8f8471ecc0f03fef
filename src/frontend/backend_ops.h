// The table through which the front end reaches the authentication backend.
#pragma once

#include <cstdio>
#include <string_view>

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
  failed,    // the slot has already written what the parent gets
};

struct RecordResult {
  RecordKind kind = RecordKind::none;
  UserRecord record;  // meaningful only when accepted

  static RecordResult none() { return {}; }
  static RecordResult failed() { return {RecordKind::failed, {}}; }
  static RecordResult accepted(UserRecord record) { return {RecordKind::accepted, std::move(record)}; }
};

/// The backend's optional slots. An empty slot is never called.
struct BackendOps {
  /// Every configuration key the loader does not own, in file order; both
  /// texts are valid only during the call. True when the key is the
  /// backend's: the loader warns about every key that no one knows.
  bool (*config)(std::string_view key, std::string_view value) = nullptr;
  void (*init)() = nullptr;
  /// Called once the configuration file has been read, before the start-up
  /// log is written out: warns (log_error) about settings that will not work
  /// as their writer meant, without refusing any.
  void (*check_settings)() = nullptr;
  void (*free)() = nullptr;
  /// kSlotNegative ends the program at once with status 0; anything else goes on.
  SlotResult (*open)() = nullptr;
  void (*close)() = nullptr;
  /// Above 0 gives "+OK", anything else "-ERR Failed Exit".
  SlotResult (*exit)(CommandWords& words) = nullptr;
  RecordResult (*check)(CommandWords& words) = nullptr;
  RecordResult (*lookup)(CommandWords& words) = nullptr;
  /// Writes its own "+DATA" lines.
  void (*help)(CommandWords& words) = nullptr;
  /// Above 0 added, 0 refused (the dispatcher answers both), below 0 answered.
  SlotResult (*set)(CommandWords& words) = nullptr;
  SlotResult (*mod)(CommandWords& words) = nullptr;  // only listed by help, never called
  SlotResult (*del)(CommandWords& words) = nullptr;  // as set
  /// 0 or more: number of items searched.
  int (*search)(CommandWords& words) = nullptr;
  /// kSlotNegative: unknown command; anything else: handled (the slot wrote its own reply).
  SlotResult (*extended)(CommandWords& words) = nullptr;
  /// 0 or more: items written; below 0: failed. The caller closes the file.
  int (*gen_file)(std::FILE* file, int n) = nullptr;
  /// Writes "+DATA" lines on the backend's health; info calls it after the
  /// settings it shows to the holder of the info password.
  void (*status)() = nullptr;
  /// -test_config: writes the backend's settings in effect and asks each of
  /// its servers (none when they could not be opened), for `user` and
  /// `password` when given (both or neither); returns the exit status, 0
  /// when every server answered validly.
  int (*test_config)(const char* user, const char* password) = nullptr;
};

/// The process-wide table. Start-up binds the program's table; tests assign
/// tables of their own (`backend_ops() = BackendOps{...};`).
BackendOps& backend_ops();

}  // namespace vantorix
