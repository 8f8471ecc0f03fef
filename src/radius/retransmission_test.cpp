#include "radius/retransmission.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantorix {
namespace {

using Times = std::vector<std::int64_t>;

TEST(Retransmission, DoublesTheIntervalWithinRetriesAndTheWait) {
  struct Case {
    int retries;
    std::int64_t wait_ms;
    Times sends;
  };
  const Case cases[] = {
      {2, 10000, {0, 2000, 6000}},  // the defaults
      {0, 10000, {0}},
      {1, 10000, {0, 2000}},
      {5, 10000, {0, 2000, 6000}},  // the wait ends before a copy at 14 s
      {5, 30000, {0, 2000, 6000, 14000}},
      {10, 300000, {0, 2000, 6000, 14000, 30000, 62000, 126000, 254000}},
      {3, 6000, {0, 2000}},         // a copy exactly at the give-up is not sent
      {2, 1000, {0}},
  };
  for (const Case& c : cases) {
    const RetransmissionSchedule schedule = live_schedule(c.retries, c.wait_ms);
    EXPECT_EQ(Times(schedule.sends_ms.begin(), schedule.sends_ms.begin() + static_cast<long>(schedule.copies)), c.sends)
        << c.retries << " retries, " << c.wait_ms << " ms";
    EXPECT_EQ(schedule.give_up_ms, c.wait_ms);
  }
  const RetransmissionSchedule dead = dead_schedule();
  EXPECT_EQ(dead.copies, 1u);
  EXPECT_EQ(dead.give_up_ms, 2000);
}

}  // namespace
}  // namespace vantorix
