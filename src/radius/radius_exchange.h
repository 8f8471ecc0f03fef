// One request and one server: the copies sent as the retransmission schedule
// says, and the wait for a valid reply, which is time, not datagrams. Beside
// it, Status-Server (RFC 5997): learnt per server beside its first request,
// sent as a watchdog when a request goes unanswered, and as a probe that
// revives a dead server. Time, random bytes and the socket wait come from
// the Env each call is given.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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
  bool watchdog_expired = false;  // of no_reply: given up when neither the request nor Status-Server was answered
  RadiusServer* from = nullptr;   // of answered: whose answer it is (a server given up earlier may answer late)
};

/// A Status-Server names this machine as the requests do.
struct StatusServerFields {
  const SharedSecret* secret = nullptr;  // must be set
  std::optional<std::string_view> nas_identifier;
};

/// The watchdog: a server known to answer Status-Server that has answered
/// nothing by the first resend is sent one, and given up this long after it
/// when it answers neither.
inline constexpr std::int64_t kWatchdogWaitMs = 2000;

/// How one server is asked.
struct AskPlan {
  RetransmissionSchedule schedule;
  /// The server answers Status-Server: send it one with the first resend
  /// (kFirstResendMs), and give it up kWatchdogWaitMs later unless it has
  /// answered the request or the Status-Server. Over UDP only while the
  /// server's wait lasts longer than both.
  bool watchdog = false;
  StatusServerFields status;
  /// Other servers whose datagrams are read during the wait: a valid late
  /// answer to the request pending with one of them (given up earlier in the
  /// same check) is taken, and an answer to its pending Status-Server
  /// revives it. UDP only.
  std::span<RadiusServer* const> bystanders;
};

/// The rules a check reads the replies of `server` by: the shared secret,
/// the Message-Authenticator policy as it stands for that server, and the
/// attribute whose texts are collected, read as `settings` say.
ReplyRules reply_rules(const RadiusSettings& settings, const SharedSecret& secret, const RadiusServer& server,
                       int collect_code);

/// Sends `server` a Status-Server with a fresh identifier other than that of
/// its pending request, over its socket (or its TLS connection when one is
/// open), and keeps it as the server's `status_pending`. False when it could
/// not be built or sent.
bool send_status_server(Log& log, Env& env, RadiusServer& server, const StatusServerFields& fields);

/// Reads every datagram already waiting at the sockets of `servers` (never
/// waits): answers to their pending Status-Server revive them; anything else
/// is dropped and logged as in a wait. UDP only.
void hear_waiting_datagrams(Log& log, Env& env, std::span<RadiusServer* const> servers, RadiusExchange& exchange,
                            const ReplyRules& rules);

/// A wrong Response Authenticator ends the wait at the end of the current
/// resend interval, and at most this long after it came, unless a valid
/// reply comes first: a forged datagram cannot beat the genuine answer.
inline constexpr std::int64_t kBadDigestGraceMs = 2000;

/// Sends the request in `exchange` (built for `server`, and kept as its
/// `request_pending`) at the times of `plan.schedule`, the identical datagram
/// each time, and waits until a valid reply comes or the schedule (or the
/// watchdog) gives up. Datagrams that are not a valid reply (wrong length,
/// another identifier, a bad or missing Message-Authenticator, a code that
/// does not answer an Access-Request, a repeat of the answer taken last) are
/// dropped, logged in log mode, and the wait goes on to the same deadline.
/// An error the system reports for the server (its port closed) ends the
/// wait at once. An answer to the server's pending Status-Server marks it as
/// answering Status-Server (and alive, which turns the watchdog off); a
/// request answered while the Status-Server sent beside the first request is
/// not marks it as ignoring Status-Server. Each datagram is read into a copy
/// of `blank` in `record`, so a valid reply leaves `record` as `blank` plus
/// the texts of `rules.collect_code`. Updates the servers' counts, their last
/// answer and whether they send Message-Authenticator (logged when that makes
/// `rules.learn_message_authenticator` start requiring it). An
/// Access-Challenge is a refusal, named in the log with its Reply-Message.
ServerAnswer ask_server(Log& log, Env& env, RadiusServer& server, RadiusExchange& exchange, const AskPlan& plan,
                        const ReplyRules& rules, const UserRecord& blank, UserRecord& record);

/// Longest packet read off a TLS stream (RFC 2865's limit).
inline constexpr int kMaxStreamPacket = 4096;

/// The same over the server's TLS connection, made when there is none or it
/// has dropped. The request goes once on its connection, and the whole
/// `wait_ms` is waited for it: a reliable transport loses nothing, and a
/// slow back end (a second-factor prompt) must not be asked twice. Only when
/// the connection closes or fails during the wait is a new one made and the
/// request sent on it. With `watchdog`, a Status-Server goes on the same
/// connection after kFirstResendMs without an answer, and the connection is
/// given up when neither is answered kWatchdogWaitMs later. When the wait
/// ends without an answer the connection is closed, so that a late answer
/// cannot meet a later request. Packets are read by their Length field; one
/// below 20 or above kMaxStreamPacket closes the connection. Replies without
/// a Message-Authenticator are taken whatever `rules` say, since TLS
/// protects them.
ServerAnswer ask_server_tls(Log& log, Env& env, RadiusServer& server, const TlsClient& client, RadiusExchange& exchange,
                            std::int64_t wait_ms, bool watchdog, const StatusServerFields& status,
                            const ReplyRules& rules, const UserRecord& blank, UserRecord& record);

}  // namespace vantorix
