// An Env on virtual time, for tests. Time passes only when the code under
// test sleeps or waits: a wait returns at once with what the sockets hold,
// once every fake server it watches has dealt with what it was sent; when
// nothing is there, the clock moves on to the end of the wait (or to the
// moment a server's delayed datagram is due, which is then sent). So a
// test of a 10-second time-out takes milliseconds, and its order of events
// is the same under any load.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/env.h"

namespace vantorix::testing {

/// What the fake environment asks of a fake server before it lets time pass.
class FakePeer {
 public:
  virtual ~FakePeer() = default;
  /// True when the peer has taken and answered everything sent to it, and
  /// has nothing due at `now`.
  virtual bool settled(std::int64_t now) const = 0;
  /// The virtual time of its next delayed datagram, if any.
  virtual std::optional<std::int64_t> next_due() const = 0;
};

class FakeEnv final : public Env {
 public:
  /// The clock starts far from 0 (0 means "never" in some of the program's fields).
  static constexpr std::int64_t kStartMs = 1'000'000;

  std::int64_t now_ms() override { return now_.load(); }
  void sleep_ms(int milliseconds) override { now_ += milliseconds; }
  /// `random_source` when set, else the system's bytes.
  bool random(std::span<std::uint8_t> out) override;
  int process_id() override { return pid; }
  int wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds) override;
  Received receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds) override;

  /// Moves the clock on.
  void advance(std::int64_t milliseconds) { now_ += milliseconds; }

  void add_peer(const FakePeer* peer);
  void remove_peer(const FakePeer* peer);

  std::function<bool(std::span<std::uint8_t>)> random_source;
  int pid = 4242;

 private:
  bool peers_settled();
  std::optional<std::int64_t> next_due();

  std::atomic<std::int64_t> now_{kStartMs};
  std::mutex mutex_;
  std::vector<const FakePeer*> peers_;
  SystemEnv system_;
};

}  // namespace vantorix::testing
