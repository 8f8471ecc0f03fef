// What the program asks of the passing of time and of chance: the clock,
// sleeping, random bytes, the process id and the wait on sockets. The
// program's objects take an Env from main; tests hand them a fake one that
// runs on virtual time (tests/support/fake_env.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/udp_socket.h"

namespace vantorix {

class Env {
 public:
  virtual ~Env() = default;

  /// Milliseconds of a clock that never goes back and does not follow
  /// changes of the time of day; only differences of two readings mean
  /// anything.
  virtual std::int64_t now_ms() = 0;

  /// Blocks the (only) thread for `milliseconds`.
  virtual void sleep_ms(int milliseconds) = 0;

  /// Fills `out` from a cryptographic random source. False when the source
  /// cannot be read; `out` is then unspecified.
  virtual bool random(std::span<std::uint8_t> out) = 0;

  /// The operating system's id of this process.
  virtual int process_id() = 0;

  /// Waits at most `milliseconds` for any of `sockets` to become readable
  /// (an error pending on one counts) and returns its index; -1 when the
  /// time ran out, -2 when the wait failed (see last_socket_error).
  virtual int wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds) = 0;

  /// Receives one datagram from the connected `socket`, waiting at most
  /// `milliseconds` for it (0: only what is there already), as
  /// `udp_receive_within` does.
  virtual Received receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds) = 0;
};

/// The operating system's clock, sleep, random source and sockets.
class SystemEnv final : public Env {
 public:
  std::int64_t now_ms() override;
  void sleep_ms(int milliseconds) override;
  /// Random bytes are drawn 1 KiB at a time ahead of need (every request
  /// takes 16; this saves a system call per request), and bytes handed out
  /// are wiped from the pool.
  bool random(std::span<std::uint8_t> out) override;
  int process_id() override;
  int wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds) override;
  Received receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds) override;

 private:
  std::array<std::uint8_t, 1024> pool_{};
  std::size_t pool_used_ = 1024;  // empty at start
};

}  // namespace vantorix
