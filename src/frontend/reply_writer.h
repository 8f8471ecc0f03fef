// The one writer of the parent's lines: every reply of the dispatcher and
// every line start-up writes to standard output goes through it, and the
// replies are echoed into the log.
#pragma once

#include <initializer_list>
#include <string_view>

#include "logging/log.h"
#include "platform/console.h"
#include "text/text_format.h"

namespace vantorix {

class ReplyWriter {
 public:
  /// Writes to `console`'s standard output; echoes replies into `log`.
  ReplyWriter(Console& console, Log& log) : console_(console), log_(log) {}
  ReplyWriter(const ReplyWriter&) = delete;
  ReplyWriter& operator=(const ReplyWriter&) = delete;

  /// Formats a reply (at most kMaxReplyText characters), writes it as it
  /// stands (no terminator added, no flush) and echoes it into the log.
  void line(const char* format, ...) VANTORIX_PRINTF(2, 3);
  /// Writes a fixed piece of a reply, with the log echo.
  void text(const char* text);
  /// `text` for each of `texts` in turn, the pieces going out in one write
  /// where they fit 4096 bytes together.
  void texts(std::initializer_list<const char*> texts);
  /// Formats a text (at most kMaxReplyText characters) and writes it,
  /// without the log echo.
  void write(const char* format, ...) VANTORIX_PRINTF(2, 3);
  /// Writes `text` as given, without the log echo.
  void output(std::string_view text) { console_.output(text); }
  void flush() { console_.flush(); }
  /// True once standard output was found closed (see Console::closed).
  bool closed() const { return console_.closed(); }
  /// Writes `text` to standard error (see Console::error_output).
  void error_output(std::string_view text) { console_.error_output(text); }

  Log& log() { return log_; }

 private:
  void echo(const char* text, std::size_t length);

  Console& console_;
  Log& log_;
};

}  // namespace vantorix
