// The RADIUS backend's configuration keys, set-up and tear-down.
#pragma once

#include <string_view>

#include "frontend/backend_ops.h"
#include "radius/radius_data.h"
#include "userstore/user_file.h"

namespace vantorix {

/// Takes "radius_host", "radius_port", "radius_secret" and "radius_attribute"
/// into `settings`, and hands "radius_user_file" on to the user store's
/// `file_settings` (key letter case ignored). Returns true for these keys,
/// false (nothing changed) for any other. A later value replaces an earlier
/// one. A secret of more than kMaxSecret bytes is refused with an error in the
/// log, and the secret in force stays. A "radius_port" that is not a number
/// from 0 to 65535 is taken as its leading number reads, as ever, with an
/// error in the log that says which port will be used.
bool radius_apply_key(RadiusSettings& settings, UserFileSettings& file_settings, std::string_view key,
                      std::string_view value);

/// The config slot: `radius_apply_key` on the process-wide records.
bool radius_config(std::string_view key, std::string_view value);

/// The init slot: logs "Setting up Radius data", resets `RadiusData` to its
/// defaults (host "localhost", port 1645, secret "set one first", socket
/// closed) and empties the user table. The user store's settings stay.
void radius_init();

/// The free slot: releases the setting texts and the user table's entries.
void radius_free();

/// The exit slot: ignores the words and succeeds.
SlotResult radius_exit(CommandWords& words);

}  // namespace vantorix
