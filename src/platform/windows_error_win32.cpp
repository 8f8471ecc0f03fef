#include "platform/windows_error.h"

#include <windows.h>

namespace vantorix {

std::string windows_error_text(unsigned long code, bool with_number) {
  char text[256] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.' ||
                        text[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "Windows error " + std::to_string(code);
  std::string reason(text, length);
  if (with_number) reason += " (" + std::to_string(code) + ")";
  return reason;
}

}  // namespace vantorix
