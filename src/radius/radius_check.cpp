#include "radius/radius_check.h"

#include <optional>
#include <string>

#include "config/core_settings.h"
#include "logging/log.h"
#include "radius/radius_data.h"
#include "radius/radius_packet.h"
#include "radius/radius_transport.h"
#include "userstore/user_file.h"
#include "userstore/user_table.h"

namespace vantorix {
namespace {

const char* text_or_null(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

}  // namespace

bool attach_default_domain(CommandWords& words) {
  const std::optional<std::string>& domain = core_settings().default_domain;
  std::optional<std::string>& name = words[1];
  if (!domain || !name || name->find('@') != std::string::npos) return true;
  if (name->size() + 1 + domain->size() >= static_cast<std::size_t>(kDomainWorkArea)) {
    log_error("radius: user name with the default domain would be longer than %d characters",
              kDomainWorkArea - 1);
    return false;
  }
  std::string joined;
  joined.reserve(name->size() + 1 + domain->size());
  joined.append(*name).append("@").append(*domain);
  name = std::move(joined);
  log_message("...Attached default domain {%s}", name->c_str());
  return true;
}

RecordResult radius_check(CommandWords& words) {
  if (!attach_default_domain(words)) return RecordResult::none();
  const char* const user = text_or_null(words[1]);
  const char* const password = text_or_null(words[2]);
  if (words[3]) {
    log_message("...Checking: User='%s'   Pass='xxxx'  IP='%s'", user, words[3]->c_str());
  } else {
    log_message("...Checking: User='%s'   Pass='xxxx'  IP='(NULL)'", user);
  }
  if (radius_ensure_open() == 0) return RecordResult::failed();
  user_file_load();

  RadiusData& data = radius_data();
  data.collect_code = kVendorSpecific;
  if (build_access_request(user, password) == 0) return RecordResult::none();

  const bool debug = log_state().debug_mode;
  const int sent = send_request();
  if (debug) log_message("rad_send response: %d\n", sent);

  // One send, then up to five waits. A datagram for another request uses up
  // an attempt without sending again.
  for (int attempt = 0; attempt < kReplyAttempts; ++attempt) {
    const int received = receive_reply();
    if (debug) log_message("rad_read response: %d\n", received);
    if (received == 0) continue;

    UserRecord record;
    record.user_name = words[1];
    record.password = words[2];
    const int verdict = verify_reply(&record);
    if (debug) log_message("rad_decode response: %d\n", verdict);
    switch (verdict) {
      case kReplyAccepted:
        // The user table adds an unknown user, or takes the new password of a
        // known one, and appends the record to the user file; a known user
        // with the same password changes nothing.
        user_table_lookup(user, password, kUserFindOrAppend, nullptr);
        return RecordResult::accepted(std::move(record));
      case kReplyOtherRequest:
        continue;
      case kReplyBadDigest:
        return RecordResult::failed();
      default:
        return RecordResult::none();
    }
  }
  return RecordResult::none();
}

RecordResult radius_lookup(CommandWords& words) {
  if (!attach_default_domain(words)) return RecordResult::none();
  log_message("...Lookup: User='%s'", text_or_null(words[1]));
  if (radius_ensure_open() == 0) return RecordResult::failed();
  user_file_load();

  std::optional<std::string> remembered;
  if (user_table_lookup(text_or_null(words[1]), nullptr, kUserFind, &remembered) != 1) return RecordResult::none();
  words[2] = std::move(remembered);
  return radius_check(words);
}

}  // namespace vantorix
