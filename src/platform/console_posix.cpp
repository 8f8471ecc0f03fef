#include "platform/console.h"

#include <cstdio>

namespace vantorix {
namespace {
std::string* g_capture = nullptr;
}  // namespace

void console_output(std::string_view text) {
  if (g_capture != nullptr) {
    g_capture->append(text);
    return;
  }
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
}

void console_flush() {
  if (g_capture == nullptr) std::fflush(stdout);
}

void console_capture(std::string* sink) { g_capture = sink; }

}  // namespace vantorix
