#include "radius/radius_exchange.h"

#include <algorithm>
#include <span>

#include "logging/log.h"
#include "platform/system.h"
#include "platform/udp_socket.h"
#include "radius/radius_texts.h"
#include "radius/socket_error_text.h"

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

void send_copy(const RadiusServer& server, const RadiusExchange& exchange) {
  const std::size_t length = static_cast<std::size_t>(std::max(exchange.send_len, 0));
  const int sent = udp_send(server.sock, std::span<const std::uint8_t>(exchange.send_buf.data(), length));
  if (sent <= 0) log_error(radius_text::kSendFailed, sent, socket_error_text());
  if (log_state().debug_mode) log_message(radius_text::kSendResponse, sent);
}

// Why a datagram was dropped, in log mode.
void log_dropped(const RadiusServer& server, std::span<const std::uint8_t> reply, ReplyVerdict verdict,
                 const PendingRequest& request) {
  const std::string from = endpoint_text(server.endpoint);
  switch (verdict) {
    case ReplyVerdict::bad_length: {
      // The Length field is read only where it arrived.
      const int field = reply.size() >= 4 ? (reply[2] << 8) | reply[3] : -1;
      const int got = static_cast<int>(reply.size());
      const int wanted = field == got || field < 0 ? 20 : field;
      log_message(radius_text::kBadLength, wanted, got, from.c_str());
      break;
    }
    case ReplyVerdict::other_request:
      log_message(radius_text::kDroppedOtherRequest, from.c_str(), static_cast<int>(reply[1]),
                  static_cast<int>(request.identifier));
      break;
    case ReplyVerdict::bad_message_authenticator:
      log_message(radius_text::kDroppedBadMessageAuthenticator, from.c_str());
      break;
    case ReplyVerdict::missing_message_authenticator:
      log_message(radius_text::kDroppedMissingMessageAuthenticator, from.c_str());
      break;
    default:
      break;
  }
}

bool repeats_last_answer(const RadiusServer& server, std::span<const std::uint8_t> reply) {
  return server.last_answer && reply.size() >= static_cast<std::size_t>(kHeaderSize) &&
         std::equal(server.last_answer->begin(), server.last_answer->end(), reply.begin() + 4);
}

// What to do with a valid reply: the server's counts and its last answer.
void take_answer(RadiusServer& server, std::span<const std::uint8_t> reply, const ReplyCheck& check,
                 std::int64_t round_trip_ms) {
  ++(check.verdict == ReplyVerdict::accepted ? server.counts.accepts : server.counts.rejects);
  server.counts.last_round_trip_ms = round_trip_ms;
  if (check.signed_message) server.sends_message_authenticator = true;
  std::array<std::uint8_t, kAuthenticatorSize> answer;
  std::copy_n(reply.begin() + 4, kAuthenticatorSize, answer.begin());
  server.last_answer = answer;
}

}  // namespace

ServerAnswer ask_server(RadiusServer& server, RadiusExchange& exchange, const RetransmissionSchedule& schedule,
                        const ReplyRules& rules, const UserRecord& blank, UserRecord& record) {
  const bool debug = log_state().debug_mode;
  const std::int64_t start = monotonic_milliseconds();
  ++server.counts.requests;
  send_copy(server, exchange);
  std::size_t next_copy = 1;
  std::int64_t bad_digest_until = -1;  // a wrong Response Authenticator came; the wait ends then

  for (;;) {
    const std::int64_t now = monotonic_milliseconds() - start;
    const std::int64_t next_send = next_copy < schedule.copies ? schedule.sends_ms[next_copy] : -1;
    // The end of the current resend interval: the next copy, or the give-up.
    const std::int64_t interval_end = next_send >= 0 ? next_send : schedule.give_up_ms;
    if (bad_digest_until >= 0 && now >= bad_digest_until) {
      return {ServerOutcome::bad_digest, false, now, {}};
    }
    if (next_send >= 0 && now >= next_send) {
      ++next_copy;
      if (debug) log_message(radius_text::kReadResponse, 0);
      send_copy(server, exchange);
      continue;
    }
    if (now >= schedule.give_up_ms) {
      if (debug) log_message(radius_text::kReadResponse, 0);
      ++server.counts.no_reply;
      return {ServerOutcome::no_reply, false, now, {}};
    }
    std::int64_t until = interval_end;
    if (bad_digest_until >= 0) until = std::min(until, bad_digest_until);
    const Received received =
        udp_receive_within(server.sock, exchange.recv_buf, static_cast<int>(std::max<std::int64_t>(until - now, 0)));
    if (received.timed_out) continue;
    exchange.recv_len = received.bytes;
    if (debug) log_message(radius_text::kReadResponse, received.bytes);
    if (received.bytes < 0) {
      log_error(radius_text::kReceiveFailed, received.bytes, socket_error_text());
      const int error = last_socket_error();
      if (error == kSocketErrorConnectionRefused || error == kSocketErrorConnectionReset) {
        // Nothing listens at the server's port: waiting longer cannot help.
        ++server.counts.no_reply;
        ServerAnswer closed{ServerOutcome::no_reply, false, monotonic_milliseconds() - start, {}};
        closed.port_closed = true;
        return closed;
      }
      continue;
    }

    const std::span<const std::uint8_t> reply(exchange.recv_buf.data(), static_cast<std::size_t>(received.bytes));
    if (repeats_last_answer(server, reply)) {
      log_message(radius_text::kDroppedRepeat, endpoint_text(server.endpoint).c_str());
      continue;
    }
    record = blank;
    const ReplyCheck check = verify_reply(reply, exchange.request, rules, &record);
    if (debug) log_message(radius_text::kDecodeResponse, verdict_number(check.verdict));
    switch (check.verdict) {
      case ReplyVerdict::accepted:
      case ReplyVerdict::refused: {
        const std::int64_t waited = monotonic_milliseconds() - start;
        take_answer(server, reply, check, waited - schedule.sends_ms[next_copy - 1]);
        return {ServerOutcome::answered, check.verdict == ReplyVerdict::accepted, waited, {}};
      }
      case ReplyVerdict::bad_digest:
        if (bad_digest_until < 0) {
          bad_digest_until = std::min(interval_end, now + kBadDigestGraceMs);
          log_message(radius_text::kBadDigestWaiting, endpoint_text(server.endpoint).c_str(),
                      static_cast<int>(bad_digest_until - now));
        }
        continue;
      default:
        log_dropped(server, reply, check.verdict, exchange.request);
        continue;
    }
  }
}

ServerAnswer ask_server_tls(RadiusServer& server, const TlsClient& client, RadiusExchange& exchange,
                            std::int64_t wait_ms, bool retry_on_new_connection, const ReplyRules& tls_rules,
                            const UserRecord& blank, UserRecord& record) {
  const bool debug = log_state().debug_mode;
  const std::int64_t start = monotonic_milliseconds();
  const std::int64_t deadline = start + wait_ms;
  ReplyRules rules = tls_rules;
  rules.require_message_authenticator = false;
  ++server.counts.requests;
  if (!server.tls) server.tls = std::make_unique<TlsStream>();
  TlsStream& stream = *server.tls;
  const std::string where = endpoint_text(server.endpoint);
  const auto no_reply = [&] {
    stream.close();
    ++server.counts.no_reply;
    return ServerAnswer{ServerOutcome::no_reply, false, monotonic_milliseconds() - start, {}};
  };

  // At most two tries, each on a connection of its own: the second when the
  // first connection dropped, or when it stayed silent and this is the only
  // live server.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::int64_t attempt_deadline =
        attempt == 0 && retry_on_new_connection ? std::min(deadline, start + kFirstResendMs) : deadline;
    bool fresh = false;
    if (!stream.is_open() || stream.dropped()) {
      fresh = true;
      const TlsResult opened = stream.open(client, server.endpoint, server.tls_name, deadline);
      if (opened != TlsResult::ok) {
        if (stream.handshake_failed()) {
          ++server.counts.no_reply;
          return {ServerOutcome::tls_failed, false, monotonic_milliseconds() - start, stream.error()};
        }
        log_error(radius_text::kTlsFailed, where.c_str(), stream.error().c_str());
        return no_reply();
      }
    }
    const std::int64_t sent_at = monotonic_milliseconds();
    const TlsResult written = stream.write(
        std::span<const std::uint8_t>(exchange.send_buf.data(), static_cast<std::size_t>(exchange.send_len)),
        attempt_deadline);
    if (debug) log_message(radius_text::kSendResponse, written == TlsResult::ok ? exchange.send_len : -1);
    TlsResult read = written;
    while (read == TlsResult::ok) {
      // A packet by its Length field: never more than kMaxStreamPacket bytes.
      std::span<std::uint8_t> packet(exchange.recv_buf.data(), kMaxStreamPacket);
      read = stream.read_exact(packet.first(4), attempt_deadline);
      if (read != TlsResult::ok) break;
      const int length = (packet[2] << 8) | packet[3];
      if (length < kHeaderSize || length > kMaxStreamPacket) {
        log_message(radius_text::kTlsBadLength, where.c_str(), length);
        read = TlsResult::failed;
        break;
      }
      read = stream.read_exact(packet.subspan(4, static_cast<std::size_t>(length) - 4), attempt_deadline);
      if (read != TlsResult::ok) break;
      exchange.recv_len = length;
      if (debug) log_message(radius_text::kReadResponse, length);
      const std::span<const std::uint8_t> reply = packet.first(static_cast<std::size_t>(length));
      record = blank;
      const ReplyCheck check = verify_reply(reply, exchange.request, rules, &record);
      if (debug) log_message(radius_text::kDecodeResponse, verdict_number(check.verdict));
      if (check.verdict == ReplyVerdict::accepted || check.verdict == ReplyVerdict::refused) {
        take_answer(server, reply, check, monotonic_milliseconds() - sent_at);
        return {ServerOutcome::answered, check.verdict == ReplyVerdict::accepted, monotonic_milliseconds() - start, {}};
      }
      // On a connection of its own only the server can have signed a reply:
      // a wrong Response Authenticator is a wrong secret, at once.
      if (check.verdict == ReplyVerdict::bad_digest) {
        return {ServerOutcome::bad_digest, false, monotonic_milliseconds() - start, {}};
      }
      log_dropped(server, reply, check.verdict, exchange.request);
    }
    const std::string error = stream.error();
    stream.close();
    if (fresh && (read == TlsResult::closed || read == TlsResult::failed)) {
      // A server that lets the handshake pass and then closes at the first
      // request refuses this client (TLS 1.3 sends its verdict on a client
      // certificate only then, if at all).
      ++server.counts.no_reply;
      const std::string hint = client.has_certificate() ? radius_text::kTlsClosedWithCertificate
                                                        : radius_text::kTlsClosedAfterHandshake;
      return {ServerOutcome::tls_failed, false, monotonic_milliseconds() - start,
              read == TlsResult::failed && !error.empty() ? error + "; " + hint : hint};
    }
    if (monotonic_milliseconds() >= deadline) break;
  }
  return no_reply();
}

}  // namespace vantorix
