#include "platform/platform_state.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/console.h"
#include "platform/native.h"
#include "platform/system.h"

namespace vantorix {

PlatformState& platform_state() {
  static PlatformState state;
  return state;
}

PlatformHooks& platform_hooks() { return platform_state().hooks; }

void sleep_milliseconds(int milliseconds) {
  const PlatformHooks& hooks = platform_hooks();
  if (hooks.sleep) {
    hooks.sleep(milliseconds);
    return;
  }
  native_sleep_milliseconds(milliseconds);
}

std::int64_t monotonic_milliseconds() {
  const PlatformHooks& hooks = platform_hooks();
  if (hooks.clock) return hooks.clock();
  return native_monotonic_milliseconds();
}

bool random_bytes(std::span<std::uint8_t> out) {
  PlatformState& state = platform_state();
  if (state.hooks.random) return state.hooks.random(out);
  RandomPool& pool = state.random_pool;
  if (out.size() > pool.bytes.size()) return native_random_bytes(out.data(), out.size());
  if (pool.bytes.size() - pool.used < out.size()) {
    if (!native_random_bytes(pool.bytes.data(), pool.bytes.size())) return false;
    pool.used = 0;
  }
  std::uint8_t* from = pool.bytes.data() + pool.used;
  std::copy(from, from + out.size(), out.begin());
  std::fill(from, from + out.size(), std::uint8_t{0});
  pool.used += out.size();
  return true;
}

namespace {

void note_write_error(PlatformState& state) {
  if (native_output_pipe_closed()) state.console_closed = true;
}

}  // namespace

void console_output(std::string_view text) {
  PlatformState& state = platform_state();
  if (std::string* sink = state.console_sink) {
    sink->append(text);
    return;
  }
  if (text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) note_write_error(state);
}

void console_flush() {
  PlatformState& state = platform_state();
  if (state.console_sink != nullptr) return;
  errno = 0;
  if (std::fflush(stdout) != 0) note_write_error(state);
}

bool console_closed() { return platform_state().console_closed; }

void console_error_output(std::string_view text) {
  if (std::string* sink = platform_state().console_sink) {
    sink->append(text);
    return;
  }
  if (text.empty()) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void console_capture(std::string* sink) { platform_state().console_sink = sink; }

}  // namespace vantorix
