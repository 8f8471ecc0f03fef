// The check and lookup operations of the RADIUS backend.
#pragma once

#include "frontend/backend_ops.h"
#include "frontend/command_words.h"

namespace vantorix {

/// Bytes of the work area in which a name with the default domain is formed:
/// the name, "@", the domain and a terminator must fit.
inline constexpr int kDomainWorkArea = 512;

/// Tries to receive a reply this many times, 2 seconds each, after one send.
inline constexpr int kReplyAttempts = 5;

/// When a default domain is configured and entry 1 has no "@", replaces
/// entry 1 by "<name>@<domain>" and logs it. Returns false (entry 1 unchanged,
/// error in the log) when that name would not fit kDomainWorkArea.
bool attach_default_domain(CommandWords& words);

/// The check slot: entry 1 the user name, entry 2 the password, entry 3 the
/// client address (logged only). Sends one Access-Request and waits for its
/// reply. Accepted: a record with the name as sent, the password and the
/// collected texts, and the user is remembered in the user table and file.
/// Rejected, silent server or unusable reply: none. Socket that cannot be
/// opened, or a reply with a wrong authenticator: failed (the "-DEAD" text is
/// already on standard output).
RecordResult radius_check(CommandWords& words);

/// The lookup slot: entry 1 the user name. Checks the password the user table
/// remembers for the user with the server, as `radius_check` does. None when
/// the user is not remembered (the server is not asked).
RecordResult radius_lookup(CommandWords& words);

}  // namespace vantorix
