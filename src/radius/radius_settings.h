// The RADIUS backend's configuration keys, set-up and tear-down.
#pragma once

#include <string_view>

#include "frontend/backend_ops.h"
#include "radius/radius_data.h"
#include "userstore/user_file.h"
#include "userstore/user_store.h"

namespace vantorix {

/// Longest "radius_nas_identifier" (what one attribute can carry).
inline constexpr std::size_t kMaxNasIdentifier = 253;
/// Bounds of the numeric keys; a value outside them is held to them, with an
/// error in the log.
inline constexpr int kMaxRetries = 10;
inline constexpr int kMaxTimeoutSeconds = 300;
inline constexpr int kMaxDeadTimeSeconds = 86400;

/// Takes the backend's keys into `settings` ("radius_host", "radius_port",
/// "radius_secret", "radius_attribute", "radius_retries", "radius_timeout",
/// "radius_dead_time", "radius_require_message_authenticator",
/// "radius_nas_identifier", "radius_calling_station_id",
/// "radius_vsa_format", "radius_transport", "radius_tls_ca",
/// "radius_tls_cert", "radius_tls_key", "radius_tls_server_name") and hands
/// "radius_user_file" on to the user store's
/// `file_settings` (key letter case ignored). Returns false for any other key,
/// which changes nothing. A later value replaces an earlier one. A value that
/// cannot be used (a secret of more than kMaxSecret bytes, an unknown word,
/// an over-long NAS identifier) is refused with an error in the log naming
/// what to fix, and the setting in force stays. A "radius_port" that is not a
/// number from 0 to 65535 is taken as its leading number reads, as ever, with
/// an error in the log that says which port will be used.
bool radius_apply_key(Log& log, RadiusSettings& settings, UserFileSettings& file_settings, std::string_view key,
                      std::string_view value);

/// The word that stands for a setting's value, as "radius_transport tls" is
/// written and -test_config shows it; `radius_apply_key` reads it from the
/// same table (with "true" and "false" for "yes" and "no" as well).
const char* setting_word(MessageAuthenticatorPolicy policy);
const char* setting_word(Transport transport);
const char* setting_word(ServerOrder order);
const char* setting_word(VsaFormat format);

/// For init: logs "Setting up Radius data", resets `radius` to its
/// defaults (host "localhost", port 1645, secret "set one first", socket
/// closed) and empties the user table. The user store's settings stay.
void radius_init(Log& log, RadiusData& radius, UserStore& users);

/// For check_settings: warns (Log::error) when no "radius_secret" is set over
/// UDP (every server drops the requests), about each bare IPv6 entry of
/// "radius_host" whose last group looks like a port, and when the user file
/// cannot be created or written by this account. Refuses nothing.
void radius_check_settings(Log& log, const RadiusSettings& settings, const UserFileSettings& file_settings);

/// For free: releases the setting texts and the user table's entries.
void radius_free(RadiusSettings& settings, UserStore& users);

}  // namespace vantorix
