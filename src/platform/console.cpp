#include "platform/console.h"

#include <cerrno>
#include <cstdio>

#include "platform/native.h"

namespace vantorix {

void Console::note_write_error() {
  if (native_output_pipe_closed()) closed_ = true;
}

void Console::output(std::string_view text) {
  if (sink_ != nullptr) {
    sink_->append(text);
    return;
  }
  if (text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) note_write_error();
}

void Console::flush() {
  if (sink_ != nullptr) return;
  errno = 0;
  if (std::fflush(stdout) != 0) note_write_error();
}

void Console::error_output(std::string_view text) {
  if (sink_ != nullptr) {
    sink_->append(text);
    return;
  }
  if (text.empty()) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace vantorix
