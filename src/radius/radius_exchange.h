// One request and one server: the copies sent as the retransmission schedule
// says, and the wait for a valid reply, which is time, not datagrams.
#pragma once

#include <cstdint>
#include <string>

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
  tls_failed,  // over TLS: the handshake or the certificate check failed
};

struct ServerAnswer {
  ServerOutcome outcome = ServerOutcome::no_reply;
  bool accepted = false;
  std::int64_t waited_ms = 0;  // from the first send to the end of the wait
  std::string reason;          // of tls_failed, in the TLS library's words
  bool port_closed = false;    // of no_reply: the system said nothing listens at the port
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

/// Longest packet read off a TLS stream (RFC 2865's limit).
inline constexpr int kMaxStreamPacket = 4096;

/// The same over the server's TLS connection, which is made again when it
/// has dropped. A request is never sent twice on one connection: when the
/// wait ends without an answer the connection is closed. With `retry_on_new_connection`
/// (a sole live server) the first try gets the first resend interval and a
/// second one, on a new connection, the rest of the wait. Packets are read by
/// their Length field; one below 20 or above kMaxStreamPacket closes the
/// connection. Replies without a Message-Authenticator are taken whatever
/// `rules` say, since TLS protects them.
ServerAnswer ask_server_tls(RadiusServer& server, const TlsClient& client, RadiusExchange& exchange,
                            std::int64_t wait_ms, bool retry_on_new_connection, const ReplyRules& rules,
                            const UserRecord& blank, UserRecord& record);

}  // namespace vantorix
