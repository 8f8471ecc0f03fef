#include "radius/retransmission.h"

namespace vantorix {

RetransmissionSchedule live_schedule(int retries, std::int64_t wait_ms) {
  RetransmissionSchedule schedule;
  schedule.give_up_ms = wait_ms;
  std::int64_t at = 0;
  std::int64_t interval = kFirstResendMs;
  for (int copy = 0; copy < retries && schedule.copies < kMaxCopies; ++copy) {
    at += interval;
    if (at >= wait_ms) break;
    schedule.sends_ms[schedule.copies++] = at;
    interval *= 2;
  }
  return schedule;
}

RetransmissionSchedule dead_schedule() { return once(kDeadServerWaitMs); }

RetransmissionSchedule once(std::int64_t wait_ms) {
  RetransmissionSchedule schedule;
  schedule.give_up_ms = wait_ms;
  return schedule;
}

}  // namespace vantorix
