#include "frontend/reply_writer.h"

#include <cstdarg>
#include <cstring>

namespace vantorix {
namespace {

// Every reply is expanded into a buffer of this many bytes, of which the
// formatter uses at most kMaxReplyText characters and the terminator.
constexpr int kLineBuffer = 4096;
constexpr int kTextSize = kMaxReplyText + 1;

}  // namespace

void ReplyWriter::echo(const char* text, std::size_t length) {
  log_.message("--> (%s)", text);
  const LogState& state = log_.state();
  if ((state.log_mode || state.debug_mode) && length > 2) {
    // Signed, so that a byte of 0x80 or more shows as eight hex digits.
    log_.message("end is (%02x)(%02x)", static_cast<int>(static_cast<signed char>(text[length - 2])),
                 static_cast<int>(static_cast<signed char>(text[length - 1])));
  }
}

void ReplyWriter::line(const char* format, ...) {
  char formatted[kLineBuffer];
  va_list args;
  va_start(args, format);
  text_vformat(formatted, kTextSize, format, args);
  va_end(args);
  // A reply is a C text: a NUL from a %c ends it here as it ends the echo.
  text(formatted);
}

void ReplyWriter::text(const char* text) {
  if (text == nullptr) text = "";
  const std::size_t length = std::strlen(text);
  console_.output(std::string_view(text, length));
  echo(text, length);
}

void ReplyWriter::texts(std::initializer_list<const char*> texts) {
  char joined[kLineBuffer];
  std::size_t size = 0;
  bool fits = true;
  for (const char* piece : texts) {
    const std::size_t length = std::strlen(piece != nullptr ? piece : "");
    if (size + length > sizeof joined) {
      fits = false;
      break;
    }
    std::memcpy(joined + size, piece != nullptr ? piece : "", length);
    size += length;
  }
  if (!fits) {
    for (const char* piece : texts) text(piece);
    return;
  }
  console_.output(std::string_view(joined, size));
  for (const char* piece : texts) {
    if (piece == nullptr) piece = "";
    echo(piece, std::strlen(piece));
  }
}

void ReplyWriter::write(const char* format, ...) {
  char formatted[kLineBuffer];
  va_list args;
  va_start(args, format);
  text_vformat(formatted, kTextSize, format, args);
  va_end(args);
  console_.output(formatted);
}

}  // namespace vantorix
