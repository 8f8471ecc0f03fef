#include "radius/retransmission.h"

namespace vantorix {

RetransmissionSchedule live_schedule(int retries, std::int64_t wait_ms) {
  RetransmissionSchedule schedule;
  schedule.give_up_ms = wait_ms;
  schedule.sends_ms.push_back(0);
  std::int64_t at = 0;
  std::int64_t interval = kFirstResendMs;
  for (int copy = 0; copy < retries; ++copy) {
    at += interval;
    if (at >= wait_ms) break;
    schedule.sends_ms.push_back(at);
    interval *= 2;
  }
  return schedule;
}

RetransmissionSchedule dead_schedule() { return {{0}, kDeadServerWaitMs}; }

}  // namespace vantorix
