// One request and one server: the copies sent as the retransmission schedule
// says, and the wait for a valid reply, which is time, not datagrams.
#pragma once

#include <cstdint>

#include "frontend/user_record.h"
#include "radius/radius_data.h"
#include "radius/radius_packet.h"
#include "radius/retransmission.h"

namespace vantorix {

/// How a server took one request.
enum class ServerOutcome {
  answered,    // a valid reply: accepted or refused
  bad_digest,  // only replies with the current identifier and a wrong Response Authenticator came
  no_reply,    // nothing valid within the wait
};

struct ServerAnswer {
  ServerOutcome outcome = ServerOutcome::no_reply;
  bool accepted = false;
  std::int64_t waited_ms = 0;  // from the first send to the end of the wait
};

/// A wrong Response Authenticator ends the wait at the end of the current
/// resend interval, and at most this long after it came, unless a valid
/// reply comes first: a forged datagram cannot beat the genuine answer.
inline constexpr std::int64_t kBadDigestGraceMs = 2000;

/// Sends the request in `exchange` (built for `server`) at the times of
/// `schedule`, the identical datagram each time, and waits until a valid
/// reply comes or the schedule gives up. Datagrams that are not a valid reply
/// (wrong length, another identifier, a bad or missing Message-Authenticator,
/// a repeat of the answer taken last) are dropped, logged in log mode, and the
/// wait goes on to the same deadline. An error the system reports for the
/// server (its port closed) ends the wait at once. Each datagram is read into
/// a copy of `blank` in `record`, so a valid reply leaves `record` as `blank`
/// plus the texts of `rules.collect_code`. Updates the server's counts, its
/// last answer and whether it sends Message-Authenticator.
ServerAnswer ask_server(RadiusServer& server, RadiusExchange& exchange, const RetransmissionSchedule& schedule,
                        const ReplyRules& rules, const UserRecord& blank, UserRecord& record);

}  // namespace vantorix
