// The platform layer's own state: the console capture. Portable; every platform shares it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vantorix {

struct PlatformState {
  std::string* console_sink = nullptr;  // console output goes here instead while set
  bool console_closed = false;          // a write to standard output met a closed pipe
};

/// The process-wide platform state; tests reset it by assigning `{}`.
PlatformState& platform_state();


}  // namespace vantorix
