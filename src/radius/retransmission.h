// When the copies of one request go to one server, and when the server is
// given up (RFC 2865 section 2.5, RFC 5080 section 2.2.1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantorix {

/// Most copies of one request: the first and ten more.
inline constexpr std::size_t kMaxCopies = 11;

/// The first copy goes at 0; the next after the first interval, each later
/// one after twice the interval before, at most `retries` copies after the
/// first and only while the server's wait lasts.
struct RetransmissionSchedule {
  std::array<std::int64_t, kMaxCopies> sends_ms{};  // offsets from the first send, the first 0
  std::size_t copies = 1;                           // how many of them are used
  std::int64_t give_up_ms = 0;                      // the end of the server's wait
};

inline constexpr std::int64_t kFirstResendMs = 2000;
/// A server marked dead gets one copy and this long a wait.
inline constexpr std::int64_t kDeadServerWaitMs = 2000;

/// The schedule of a live server: with 2 retries and 10 s, sends at 0, 2 and
/// 6 s and the server is given up at 10 s.
RetransmissionSchedule live_schedule(int retries, std::int64_t wait_ms);

/// The schedule of a server marked dead: one send, given up at 2 s.
RetransmissionSchedule dead_schedule();

/// One send, given up after `wait_ms`.
RetransmissionSchedule once(std::int64_t wait_ms);

}  // namespace vantorix
