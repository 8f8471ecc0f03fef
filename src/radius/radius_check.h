// The check and lookup operations of the RADIUS backend.
#pragma once

#include <optional>
#include <string>

#include "frontend/backend_ops.h"
#include "frontend/command_words.h"
#include "radius/radius_data.h"
#include "userstore/user_store.h"

namespace vantorix {

/// Bytes of the work area in which a name with the default domain is formed:
/// the name, "@", the domain and a terminator must fit.
inline constexpr int kDomainWorkArea = 512;

/// Tries to receive a reply this many times, 2 seconds each, after one send.
inline constexpr int kReplyAttempts = 5;

/// When `domain` is set and entry 1 has no "@", replaces entry 1 by
/// "<name>@<domain>" and logs it. Returns false (entry 1 unchanged, error in
/// the log) when that name would not fit kDomainWorkArea.
bool attach_default_domain(CommandWords& words, const std::optional<std::string>& domain);

/// Entry 1 the user name, entry 2 the password, entry 3 the client address
/// (logged only). Sends one Access-Request and waits for its reply. Accepted:
/// a record with the name as sent, the password and the collected texts, and
/// the user is remembered in `users`. Rejected, silent server or unusable
/// reply: none. Socket that cannot be opened, or a reply with a wrong
/// authenticator: failed (the "-DEAD" text is already on standard output).
RecordResult check_user(RadiusData& radius, UserStore& users, const std::optional<std::string>& domain,
                        CommandWords& words);

/// Entry 1 the user name. Checks the password that `users` remembers for the
/// user with the server, as `check_user` does. None when the user is not
/// remembered (the server is not asked).
RecordResult lookup_user(RadiusData& radius, UserStore& users, const std::optional<std::string>& domain,
                         CommandWords& words);

/// The check slot: `check_user` with the process-wide records.
RecordResult radius_check(CommandWords& words);

/// The lookup slot: `lookup_user` with the process-wide records.
RecordResult radius_lookup(CommandWords& words);

}  // namespace vantorix
