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
  bool signed_message = false;  // of answered: the reply carried a valid Message-Authenticator
};

/// The rules a check reads the replies of `server` by: the shared secret,
/// the Message-Authenticator policy as it stands for that server, and the
/// attribute whose texts are collected, read as `settings` say.
ReplyRules reply_rules(const RadiusSettings& settings, const SharedSecret& secret, const RadiusServer& server,
                       int collect_code);

/// A wrong Response Authenticator ends the wait at the end of the current
/// resend interval, and at most this long after it came, unless a valid
/// reply comes first: a forged datagram cannot beat the genuine answer.
inline constexpr std::int64_t kBadDigestGraceMs = 2000;

/// Sends the request in `exchange` (built for `server`) at the times of
/// `schedule`, the identical datagram each time, and waits until a valid
/// reply comes or the schedule gives up. Datagrams that are not a valid reply
/// (wrong length, another identifier, a bad or missing Message-Authenticator,
/// a code that does not answer an Access-Request, a repeat of the answer
/// taken last) are dropped, logged in log mode, and the
/// wait goes on to the same deadline. An error the system reports for the
/// server (its port closed) ends the wait at once. Each datagram is read into
/// a copy of `blank` in `record`, so a valid reply leaves `record` as `blank`
/// plus the texts of `rules.collect_code`. Updates the server's counts, its
/// last answer and whether it sends Message-Authenticator (logged when that
/// makes `rules.learn_message_authenticator` start requiring it). An
/// Access-Challenge is a refusal, named in the log with its Reply-Message.
ServerAnswer ask_server(RadiusServer& server, RadiusExchange& exchange, const RetransmissionSchedule& schedule,
                        const ReplyRules& rules, const UserRecord& blank, UserRecord& record);

/// Longest packet read off a TLS stream (RFC 2865's limit).
inline constexpr int kMaxStreamPacket = 4096;

/// The same over the server's TLS connection, made when there is none or it
/// has dropped. The request goes once on its connection, and the whole
/// `wait_ms` is waited for it: a reliable transport loses nothing, and a
/// slow back end (a second-factor prompt) must not be asked twice. Only when
/// the connection closes or fails during the wait is a new one made and the
/// request sent on it. When the wait ends without an answer the connection is
/// closed, so that a late answer cannot meet a later request. Packets are
/// read by their Length field; one below 20 or above kMaxStreamPacket closes
/// the connection. Replies without a Message-Authenticator are taken whatever
/// `rules` say, since TLS protects them.
ServerAnswer ask_server_tls(RadiusServer& server, const TlsClient& client, RadiusExchange& exchange,
                            std::int64_t wait_ms, const ReplyRules& rules, const UserRecord& blank,
                            UserRecord& record);

}  // namespace vantorix
