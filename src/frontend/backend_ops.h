// The table through which the front end reaches the authentication backend.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "frontend/command_words.h"
#include "frontend/user_record.h"

namespace vantorix {

/// Integer slot results: above 0 success, 0 a negative answer that the
/// dispatcher reports, below 0 the slot has answered (or failed) on its own.
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

/// Optional slots framed by two data members that belong to the backend.
/// An empty slot is never called.
struct BackendOps {
  std::string user_file_name = "radius_users.dat";
  /// Every configuration key the loader does not own, in file order; both
  /// texts are valid only during the call.
  void (*config)(std::string_view key, std::string_view value) = nullptr;
  void (*init)() = nullptr;
  void (*free)() = nullptr;
  /// Nonzero: ready. 0 ends the program at once with status 0.
  int (*open)() = nullptr;
  void (*close)() = nullptr;
  /// Above 0 gives "+OK", anything else "-ERR Failed Exit".
  int (*exit)(CommandWords& words) = nullptr;
  RecordResult (*check)(CommandWords& words) = nullptr;
  RecordResult (*lookup)(CommandWords& words) = nullptr;
  /// Writes its own "+DATA" lines.
  void (*help)(CommandWords& words) = nullptr;
  int (*set)(CommandWords& words) = nullptr;
  int (*mod)(CommandWords& words) = nullptr;  // only listed by help, never called
  int (*del)(CommandWords& words) = nullptr;
  /// 0 or more: number of items searched.
  int (*search)(CommandWords& words) = nullptr;
  /// Nonzero: handled (the slot wrote its own reply); 0: unknown command.
  int (*extended)(CommandWords& words) = nullptr;
  /// 0 or more: items written; below 0: failed. The caller closes the file.
  int (*gen_file)(std::FILE* file, int n) = nullptr;
  std::string scramble_key = "quietlyturnbrasskeysunderoldbridges";
};

/// The process-wide table. Start-up binds the program's table; tests assign
/// tables of their own (`backend_ops() = BackendOps{...};`).
BackendOps& backend_ops();

}  // namespace vantorix
