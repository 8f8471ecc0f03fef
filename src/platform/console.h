// Standard output and standard error of the program: replies, debug echoes,
// banners and what an administrator must see.
#pragma once

#include <string>
#include <string_view>

namespace vantorix {

/// Puts the standard streams into the modes the line protocol needs; the
/// program calls it first. Standard input is read as bytes (the line reader
/// drops the CR of a CR LF itself, and a text-mode stream would end the input
/// at a 0x1A byte); standard output is a text stream, so on Windows every line
/// feed goes out as CR LF, as a Windows parent reads it. Nothing to do on
/// POSIX systems.
void console_start();

/// Standard output and standard error of the process, with what the
/// program must remember of them. main owns the one Console; tests make
/// their own and capture what it writes.
class Console {
 public:
  /// Writes `text` to standard output as given (no terminator added; the
  /// only translation is the text stream's CR LF on Windows). Write errors
  /// are ignored (the parent may have gone), but a closed pipe is remembered
  /// for `closed`.
  void output(std::string_view text);

  /// Flushes standard output. Errors are ignored.
  void flush();

  /// True once a write or flush of standard output has failed because
  /// nobody reads it any more (the parent closed its end of the pipe: EPIPE
  /// on POSIX, a broken pipe on Windows). Stays true for the rest of the run.
  bool closed() const { return closed_; }

  /// Writes `text` to standard error as given and flushes it; errors are
  /// ignored. For what an administrator running the program by hand must
  /// see even though standard output belongs to the line protocol. Captured
  /// with standard output while a sink is set.
  void error_output(std::string_view text);

  /// For tests: while `sink` is set, what would go to standard output or
  /// standard error is appended to it instead. Pass nullptr to write to
  /// the streams again.
  void capture(std::string* sink) { sink_ = sink; }

 private:
  void note_write_error();

  std::string* sink_ = nullptr;
  bool closed_ = false;
};

}  // namespace vantorix
