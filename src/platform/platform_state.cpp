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
