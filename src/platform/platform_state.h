// The platform layer's own state: the test hooks, the pool of random bytes
// and the console capture. Portable; every platform shares it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vantorix {

/// Test seams: when set, these replace the real sleep, random source and
/// monotonic clock.
struct PlatformHooks {
  std::function<void(int milliseconds)> sleep;
  std::function<bool(std::span<std::uint8_t>)> random;
  std::function<std::int64_t()> clock;
};

/// Random bytes drawn from the operating system ahead of need: every request
/// takes 16, and drawing them 1 KiB at a time saves a system call per
/// request. Bytes handed out are wiped from the pool.
struct RandomPool {
  std::array<std::uint8_t, 1024> bytes{};
  std::size_t used = 1024;  // empty at start
};

struct PlatformState {
  PlatformHooks hooks;
  RandomPool random_pool;
  std::string* console_sink = nullptr;  // console output goes here instead while set
  bool console_closed = false;          // a write to standard output met a closed pipe
};

/// The process-wide platform state; tests reset it by assigning `{}`.
PlatformState& platform_state();

/// The hooks of `platform_state()`.
PlatformHooks& platform_hooks();

}  // namespace vantorix
