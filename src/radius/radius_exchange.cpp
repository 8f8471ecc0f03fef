#include "radius/radius_exchange.h"

#include <algorithm>
#include <span>

#include "logging/log.h"
#include "platform/system.h"
#include "platform/udp_socket.h"
#include "radius/radius_texts.h"
#include "transport/socket_error_text.h"

namespace vantorix {
namespace {

// The debug line's numbers for what became of a datagram.
int verdict_number(ReplyVerdict verdict) {
  switch (verdict) {
    case ReplyVerdict::accepted: return 1;
    case ReplyVerdict::bad_digest: return -1;
    case ReplyVerdict::other_request: return 3;
    default: return 0;
  }
}

bool port_closed_error() {
  const int error = last_socket_error();
  return error == kSocketErrorConnectionRefused || error == kSocketErrorConnectionReset;
}

// Sends the request once more; false when the system says nothing listens
// at the server's port (the answer to an earlier datagram, reported now).
bool send_copy(Log& log, const RadiusServer& server, const RadiusExchange& exchange) {
  const std::size_t length = static_cast<std::size_t>(std::max(exchange.send_len, 0));
  const int sent = udp_send(server.sock, std::span<const std::uint8_t>(exchange.send_buf.data(), length));
  if (log.state().debug_mode) log.message(radius_text::kSendResponse, sent);
  if (sent > 0) return true;
  if (port_closed_error()) return false;
  log.error(radius_text::kSendFailed, sent, socket_error_text());
  return true;
}

ServerAnswer port_closed(RadiusServer& server, std::int64_t waited_ms) {
  ++server.counts.no_reply;
  ServerAnswer closed{ServerOutcome::no_reply, false, waited_ms, {}};
  closed.port_closed = true;
  return closed;
}

// Why a datagram was dropped, in log mode.
void log_dropped(Log& log, const RadiusServer& server, std::span<const std::uint8_t> reply, ReplyVerdict verdict,
                 const PendingRequest& request) {
  const std::string from = endpoint_text(server.endpoint);
  switch (verdict) {
    case ReplyVerdict::bad_length: {
      // The Length field is read only where it arrived.
      const int field = reply.size() >= 4 ? (reply[2] << 8) | reply[3] : -1;
      const int got = static_cast<int>(reply.size());
      const int wanted = field == got || field < 0 ? 20 : field;
      log.message(radius_text::kBadLength, wanted, got, from.c_str());
      break;
    }
    case ReplyVerdict::other_request:
      log.message(radius_text::kDroppedOtherRequest, from.c_str(), static_cast<int>(reply[1]),
                  static_cast<int>(request.identifier));
      break;
    case ReplyVerdict::bad_message_authenticator:
      log.message(radius_text::kDroppedBadMessageAuthenticator, from.c_str());
      break;
    case ReplyVerdict::missing_message_authenticator:
      log.message(radius_text::kDroppedMissingMessageAuthenticator, from.c_str());
      break;
    case ReplyVerdict::not_an_answer:
      log.message(radius_text::kDroppedNotAnAnswer, from.c_str(), static_cast<int>(reply[0]));
      break;
    default:
      break;
  }
}

bool repeats_last_answer(const RadiusServer& server, std::span<const std::uint8_t> reply) {
  return server.last_answer && reply.size() >= static_cast<std::size_t>(kHeaderSize) &&
         std::equal(server.last_answer->begin(), server.last_answer->end(), reply.begin() + 4);
}

// What to do with a valid reply: the server's counts, its last answer, and
// what the administrator should know of it.
void take_answer(Log& log, RadiusServer& server, std::span<const std::uint8_t> reply, const ReplyCheck& check,
                 const ReplyRules& rules, std::int64_t round_trip_ms) {
  ++(check.verdict == ReplyVerdict::accepted ? server.counts.accepts : server.counts.rejects);
  server.counts.last_round_trip_ms = round_trip_ms;
  if (check.signed_message && !server.sends_message_authenticator) {
    server.sends_message_authenticator = true;
    // From now on this server's unsigned replies are dropped: behind a proxy
    // whose home servers differ, that is where checks start to fail.
    if (rules.learn_message_authenticator) {
      log.message(radius_text::kMessageAuthenticatorNowRequired, endpoint_text(server.endpoint).c_str());
    }
  }
  if (reply[0] == kAccessChallenge) {
    const std::string message = reply_message_text(reply);
    if (message.empty()) {
      log.message(radius_text::kChallenged, endpoint_text(server.endpoint).c_str());
    } else {
      log.message(radius_text::kChallengedWithMessage, endpoint_text(server.endpoint).c_str(), message.c_str());
    }
  }
  std::array<std::uint8_t, kAuthenticatorSize> answer;
  std::copy_n(reply.begin() + 4, kAuthenticatorSize, answer.begin());
  server.last_answer = answer;
}

ServerAnswer answered(const ReplyCheck& check, std::int64_t waited_ms, RadiusServer& from) {
  ServerAnswer answer{ServerOutcome::answered, check.verdict == ReplyVerdict::accepted, waited_ms, {}};
  answer.signed_message = check.signed_message;
  answer.from = &from;
  return answer;
}

// The rules of `rules` (made for another server of the same check) for a
// reply of `server`: under "auto" its own Message-Authenticator state counts.
ReplyRules rules_for(const ReplyRules& rules, const RadiusServer& server) {
  ReplyRules own = rules;
  if (rules.learn_message_authenticator) own.require_message_authenticator = server.sends_message_authenticator;
  return own;
}

// A valid answer to a server's Status-Server: it answers them, and it lives.
void take_status_answer(Log& log, RadiusServer& server) {
  server.status_pending.reset();
  server.status_server = StatusServerSupport::answers;
  if (server.dead_until_ms != 0) {
    server.dead_until_ms = 0;
    log.message(radius_text::kServerAlive, endpoint_text(server.endpoint).c_str());
  }
}

// What one datagram from a server came to.
enum class Heard {
  dropped,          // no valid answer to anything pending (logged)
  status_answered,  // a valid answer to its Status-Server
  answered,         // a valid answer to its request: `check` says which
  bad_digest,       // the request's identifier, but a wrong Response Authenticator
};

// Reads `reply` from `source` against what is pending with it: its
// Status-Server (by identifier) and its request.
Heard hear(Log& log, RadiusServer& source, std::span<const std::uint8_t> reply, const ReplyRules& rules,
           const UserRecord& blank, UserRecord& record, ReplyCheck& check) {
  if (repeats_last_answer(source, reply)) {
    log.message(radius_text::kDroppedRepeat, endpoint_text(source.endpoint).c_str());
    return Heard::dropped;
  }
  const ReplyRules own = rules_for(rules, source);
  if (source.status_pending && reply.size() >= 2 && reply[1] == source.status_pending->identifier) {
    const ReplyCheck status = verify_reply(log, reply, *source.status_pending, own, nullptr);
    if (status.verdict == ReplyVerdict::accepted || status.verdict == ReplyVerdict::refused) {
      take_status_answer(log, source);
      return Heard::status_answered;
    }
    log_dropped(log, source, reply, status.verdict, *source.status_pending);
    return Heard::dropped;
  }
  if (!source.request_pending) {
    // Nothing of this check is pending there: a late answer of an earlier one.
    if (reply.size() >= 2) {
      log.message(radius_text::kDroppedLate, endpoint_text(source.endpoint).c_str(), static_cast<int>(reply[1]));
    }
    return Heard::dropped;
  }
  record = blank;
  check = verify_reply(log, reply, *source.request_pending, own, &record);
  if (log.state().debug_mode) log.message(radius_text::kDecodeResponse, verdict_number(check.verdict));
  switch (check.verdict) {
    case ReplyVerdict::accepted:
    case ReplyVerdict::refused:
      return Heard::answered;
    case ReplyVerdict::bad_digest:
      return Heard::bad_digest;
    default:
      log_dropped(log, source, reply, check.verdict, *source.request_pending);
      return Heard::dropped;
  }
}

// A request answered while the Status-Server sent beside the first request
// is not: the server ignores Status-Server (FreeRADIUS answers one before a
// request sent after it).
void note_request_answered(RadiusServer& server) {
  if (server.status_server == StatusServerSupport::unknown && server.status_pending) {
    server.status_server = StatusServerSupport::ignores;
    server.status_pending.reset();
  }
}

// Takes one datagram waiting at `server`'s socket into `buffer`, within
// `milliseconds`; its bytes, 0 when none came, -1 on a socket error.
int receive(Env& env, const RadiusServer& server, std::span<std::uint8_t> buffer, int milliseconds) {
  const Received received = env.receive_within(server.sock, buffer, milliseconds);
  if (received.timed_out) return 0;
  return received.bytes < 0 ? -1 : received.bytes;
}

}  // namespace

ReplyRules reply_rules(const RadiusSettings& settings, const SharedSecret& secret, const RadiusServer& server,
                       int collect_code) {
  const MessageAuthenticatorPolicy policy = settings.require_message_authenticator;
  ReplyRules rules;
  rules.secret = &secret;
  rules.require_message_authenticator =
      policy == MessageAuthenticatorPolicy::yes ||
      (policy == MessageAuthenticatorPolicy::automatic && server.sends_message_authenticator);
  rules.learn_message_authenticator = policy == MessageAuthenticatorPolicy::automatic;
  rules.collect_code = collect_code;
  rules.vsa_format = settings.vsa_format;
  return rules;
}

bool send_status_server(Log& log, Env& env, RadiusServer& server, const StatusServerFields& fields) {
  std::uint8_t identifier = 0;
  if (!env.random(std::span<std::uint8_t>(&identifier, 1))) return false;
  // Never the pending request's: a reply is told apart by its identifier.
  if (server.request_pending && identifier == server.request_pending->identifier) ++identifier;
  std::array<std::uint8_t, kMaxStreamPacket> packet;
  std::int32_t length = 0;
  const std::optional<PendingRequest> pending = build_status_server(log, env, server.nas_address, fields.nas_identifier,
                                                                    *fields.secret, identifier, packet, length);
  if (!pending) return false;
  const std::span<const std::uint8_t> bytes(packet.data(), static_cast<std::size_t>(length));
  bool sent = false;
  if (server.tls && server.tls->is_open()) {
    sent = server.tls->write(bytes, env.now_ms() + kWatchdogWaitMs) == TlsResult::ok;
  } else if (server.sock != kNoSocket) {
    sent = udp_send(server.sock, bytes) == length;
  }
  if (sent) server.status_pending = *pending;
  return sent;
}

void hear_waiting_datagrams(Log& log, Env& env, std::span<RadiusServer* const> servers, RadiusExchange& exchange,
                            const ReplyRules& rules) {
  UserRecord blank, record;
  ReplyCheck check;
  for (RadiusServer* server : servers) {
    for (int got; (got = receive(env, *server, exchange.recv_buf, 0)) != 0;) {
      // An error (the port closed) says only what the next wait will see too.
      if (got < 0) break;
      hear(log, *server, std::span<const std::uint8_t>(exchange.recv_buf.data(), static_cast<std::size_t>(got)), rules,
           blank, record, check);
    }
  }
}

ServerAnswer ask_server(Log& log, Env& env, RadiusServer& server, RadiusExchange& exchange, const AskPlan& plan,
                        const ReplyRules& rules, const UserRecord& blank, UserRecord& record) {
  const bool debug = log.state().debug_mode;
  const RetransmissionSchedule& schedule = plan.schedule;
  const std::int64_t start = env.now_ms();
  ++server.counts.requests;
  server.request_pending = exchange.request;
  if (!send_copy(log, server, exchange)) return port_closed(server, 0);
  std::size_t next_copy = 1;
  std::int64_t bad_digest_until = -1;  // a wrong Response Authenticator came; the wait ends then
  // The watchdog's Status-Server goes with the first resend; the server is
  // given up when it answers neither soon after.
  std::int64_t watchdog_at =
      plan.watchdog && kFirstResendMs + kWatchdogWaitMs < schedule.give_up_ms ? kFirstResendMs : -1;
  std::int64_t watchdog_until = -1;
  // The sockets read: the server's first, then the bystanders'.
  std::vector<SocketHandle>& sockets = exchange.listening;
  sockets.assign(1, server.sock);
  for (const RadiusServer* other : plan.bystanders) sockets.push_back(other->sock);

  for (;;) {
    const std::int64_t now = env.now_ms() - start;
    const std::int64_t next_send = next_copy < schedule.copies ? schedule.sends_ms[next_copy] : -1;
    // The end of the current resend interval: the next copy, or the give-up.
    const std::int64_t interval_end = next_send >= 0 ? next_send : schedule.give_up_ms;
    if (bad_digest_until >= 0 && now >= bad_digest_until) {
      return {ServerOutcome::bad_digest, false, now, {}};
    }
    if (next_send >= 0 && now >= next_send) {
      ++next_copy;
      if (debug) log.message(radius_text::kReadResponse, 0);
      if (!send_copy(log, server, exchange)) return port_closed(server, now);
      continue;
    }
    if (watchdog_at >= 0 && now >= watchdog_at) {
      watchdog_at = -1;
      if (send_status_server(log, env, server, plan.status)) watchdog_until = now + kWatchdogWaitMs;
      continue;
    }
    if (watchdog_until >= 0 && now >= watchdog_until) {
      ++server.counts.no_reply;
      ServerAnswer given_up{ServerOutcome::no_reply, false, now, {}};
      given_up.watchdog_expired = true;
      return given_up;
    }
    if (now >= schedule.give_up_ms) {
      if (debug) log.message(radius_text::kReadResponse, 0);
      ++server.counts.no_reply;
      return {ServerOutcome::no_reply, false, now, {}};
    }
    std::int64_t until = interval_end;
    for (const std::int64_t limit : {bad_digest_until, watchdog_at, watchdog_until}) {
      if (limit >= 0) until = std::min(until, limit);
    }
    const int wait = static_cast<int>(std::max<std::int64_t>(until - now, 0));
    // Alone, the server's socket is waited on in the receive itself.
    RadiusServer* source = &server;
    if (sockets.size() > 1) {
      const int ready = env.wait_any_readable(sockets, wait);
      if (ready == -1) continue;
      if (ready > 0) source = plan.bystanders[static_cast<std::size_t>(ready - 1)];
    }
    const int got = receive(env, *source, exchange.recv_buf, source == &server && sockets.size() == 1 ? wait : 0);
    if (got == 0) continue;
    exchange.recv_len = got;
    if (source != &server) {
      // A bystander's error (its port closed) changes nothing here.
      if (got < 0) continue;
    } else {
      if (debug) log.message(radius_text::kReadResponse, got);
      if (got < 0) {
        // Nothing listens at the server's port: waiting longer cannot help.
        if (port_closed_error()) return port_closed(server, env.now_ms() - start);
        log.error(radius_text::kReceiveFailed, got, socket_error_text());
        continue;
      }
    }

    const std::span<const std::uint8_t> reply(exchange.recv_buf.data(), static_cast<std::size_t>(got));
    ReplyCheck check;
    switch (hear(log, *source, reply, rules, blank, record, check)) {
      case Heard::answered: {
        const std::int64_t waited = env.now_ms() - start;
        const std::int64_t sent_at = source == &server ? schedule.sends_ms[next_copy - 1] : 0;
        take_answer(log, *source, reply, check, rules_for(rules, *source), waited - sent_at);
        note_request_answered(*source);
        return answered(check, waited, *source);
      }
      case Heard::status_answered:
        // Alive: a slow back end is waited for the whole time.
        if (source == &server) watchdog_until = -1;
        continue;
      case Heard::bad_digest:
        if (source == &server && bad_digest_until < 0) {
          bad_digest_until = std::min(interval_end, now + kBadDigestGraceMs);
          log.message(radius_text::kBadDigestWaiting, endpoint_text(server.endpoint).c_str(),
                      static_cast<int>(bad_digest_until - now));
        }
        continue;
      case Heard::dropped:
        continue;
    }
  }
}

ServerAnswer ask_server_tls(Log& log, Env& env, RadiusServer& server, const TlsClient& client, RadiusExchange& exchange,
                            std::int64_t wait_ms, bool watchdog, const StatusServerFields& status,
                            const ReplyRules& tls_rules, const UserRecord& blank, UserRecord& record) {
  const bool debug = log.state().debug_mode;
  const std::int64_t start = env.now_ms();
  const std::int64_t deadline = start + wait_ms;
  ReplyRules rules = tls_rules;
  rules.require_message_authenticator = false;
  rules.learn_message_authenticator = false;
  ++server.counts.requests;
  server.request_pending = exchange.request;
  if (!server.tls) server.tls = std::make_unique<TlsStream>(env);
  TlsStream& stream = *server.tls;
  const std::string where = endpoint_text(server.endpoint);

  // The request goes on the open connection, or on a new one; a second time
  // only when the connection it went on closed or failed before an answer.
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool fresh = false;
    if (!stream.is_open() || stream.dropped()) {
      if (stream.is_open()) log.message(radius_text::kTlsClosedByServer, where.c_str());
      fresh = true;
      const TlsResult opened = stream.open(client, server.endpoint, server.tls_name, deadline);
      if (opened != TlsResult::ok) {
        if (stream.handshake_failed()) {
          ++server.counts.no_reply;
          return {ServerOutcome::tls_failed, false, env.now_ms() - start, stream.error()};
        }
        log.error(radius_text::kTlsFailed, where.c_str(), stream.error().c_str());
        break;
      }
      server.status_pending.reset();  // its answer would have come on the old connection
    }
    const std::int64_t sent_at = env.now_ms();
    const TlsResult written = stream.write(
        std::span<const std::uint8_t>(exchange.send_buf.data(), static_cast<std::size_t>(exchange.send_len)),
        deadline);
    if (debug) log.message(radius_text::kSendResponse, written == TlsResult::ok ? exchange.send_len : -1);
    std::int64_t watchdog_at = watchdog && sent_at + kFirstResendMs + kWatchdogWaitMs < deadline
                                   ? sent_at + kFirstResendMs : -1;
    std::int64_t watchdog_until = -1;
    TlsResult read = written;
    while (read == TlsResult::ok) {
      // The watchdog's times pass while nothing comes: a packet that has
      // begun is read to its end (or the deadline).
      const std::int64_t check_at = watchdog_at >= 0 ? watchdog_at : watchdog_until;
      if (check_at >= 0 && !stream.readable_within(check_at)) {
        if (watchdog_at >= 0) {
          watchdog_at = -1;
          if (send_status_server(log, env, server, status)) watchdog_until = check_at + kWatchdogWaitMs;
          continue;
        }
        stream.close();
        ++server.counts.no_reply;
        ServerAnswer given_up{ServerOutcome::no_reply, false, env.now_ms() - start, {}};
        given_up.watchdog_expired = true;
        return given_up;
      }
      // A packet by its Length field: never more than kMaxStreamPacket bytes.
      std::span<std::uint8_t> packet(exchange.recv_buf.data(), kMaxStreamPacket);
      read = stream.read_exact(packet.first(4), deadline);
      if (read != TlsResult::ok) break;
      const int length = (packet[2] << 8) | packet[3];
      if (length < kHeaderSize || length > kMaxStreamPacket) {
        log.message(radius_text::kTlsBadLength, where.c_str(), length);
        read = TlsResult::failed;
        break;
      }
      read = stream.read_exact(packet.subspan(4, static_cast<std::size_t>(length) - 4), deadline);
      if (read != TlsResult::ok) break;
      exchange.recv_len = length;
      if (debug) log.message(radius_text::kReadResponse, length);
      const std::span<const std::uint8_t> reply = packet.first(static_cast<std::size_t>(length));
      ReplyCheck check;
      switch (hear(log, server, reply, rules, blank, record, check)) {
        case Heard::answered:
          take_answer(log, server, reply, check, rules, env.now_ms() - sent_at);
          note_request_answered(server);
          // Whether the server answers Status-Server is asked after the first
          // answer, alone: FreeRADIUS 3.2 reads a second packet that came in
          // one piece with the first only when more data arrives. Its answer
          // comes before the next request's.
          if (!server.status_server_asked) {
            server.status_server_asked = true;
            send_status_server(log, env, server, status);
          }
          return answered(check, env.now_ms() - start, server);
        case Heard::status_answered:
          watchdog_until = -1;
          break;
        case Heard::bad_digest:
          // On a connection of its own only the server can have signed a
          // reply: a wrong Response Authenticator is a wrong secret, at once.
          return {ServerOutcome::bad_digest, false, env.now_ms() - start, {}};
        case Heard::dropped:
          break;
      }
    }
    if (read == TlsResult::timed_out) break;
    const std::string error = stream.error();
    stream.close();
    if (fresh) {
      // A server that lets the handshake pass and then closes at the first
      // request refuses this client (TLS 1.3 sends its verdict on a client
      // certificate only then, if at all).
      ++server.counts.no_reply;
      const std::string hint = client.has_certificate() ? radius_text::kTlsClosedWithCertificate
                                                        : radius_text::kTlsClosedAfterHandshake;
      return {ServerOutcome::tls_failed, false, env.now_ms() - start,
              read == TlsResult::failed && !error.empty() ? error + "; " + hint : hint};
    }
    log.message(radius_text::kTlsClosedByServer, where.c_str());
    if (env.now_ms() >= deadline) break;
  }
  stream.close();
  ++server.counts.no_reply;
  return {ServerOutcome::no_reply, false, env.now_ms() - start, {}};
}

}  // namespace vantorix
