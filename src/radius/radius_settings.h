// The RADIUS backend's configuration keys, set-up and tear-down.
#pragma once

#include <string_view>

#include "frontend/command_words.h"
#include "radius/radius_data.h"

namespace vantorix {

/// Default server port when "radius_port" is not given.
inline constexpr std::int32_t kDefaultRadiusPort = 1645;
/// Shared secret in force until "radius_secret" sets one.
inline constexpr const char* kDefaultSecret = "set one first";

/// The config slot. Takes "radius_host", "radius_port", "radius_secret",
/// "radius_attribute" and "radius_user_file" (key letter case ignored); any
/// other key is ignored. A later value replaces an earlier one. A secret of
/// more than kMaxSecret bytes is refused with an error in the log, and the
/// secret in force stays.
void radius_config(std::string_view key, std::string_view value);

/// The init slot: resets `RadiusData` to its defaults (host "localhost", port
/// 1645, secret "set one first", socket closed) and empties the user table.
/// Leaves the backend table's `user_file_name` alone.
void radius_init();

/// The free slot: releases the setting texts and the user table's entries.
void radius_free();

/// The exit slot: ignores the words and returns 1.
int radius_exit(CommandWords& words);

/// "radius_port" value: leading blanks, one sign, then decimal digits up to
/// the first other character; 0 without digits. Saturates at the limits of a
/// 32-bit signed number.
std::int32_t parse_port_number(std::string_view value);

}  // namespace vantorix
