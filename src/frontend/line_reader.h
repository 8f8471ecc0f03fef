// Reads command lines from standard input (or any stream) safely and fast.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

namespace vantorix {

/// Characters read for one command line, its line feed counted.
inline constexpr std::size_t kMaxLine = 1023;

/// Reads one command line per call. A line is at most kMaxLine characters with
/// its line feed; of a longer line the first kMaxLine characters are the
/// command and the rest, through its line feed, is read and discarded, so every
/// line of input gives exactly one command. A carriage return right before the
/// line feed is dropped, as a text-mode stream does. NUL bytes are kept; a last
/// line without a line feed is returned as it stands.
class LineReader {
 public:
  explicit LineReader(std::FILE* input) : input_(input) { buffer_.fill('\n'); }

  /// The next line (with its line feed when it had one), valid until the next
  /// call; nothing at the end of the input or on a read error.
  std::optional<std::string_view> next();

 private:
  std::FILE* input_;
  // Kept free of NUL bytes past the last line, so that the terminator that
  // ends what was read can be told from NUL bytes inside the line.
  std::array<char, kMaxLine + 1> buffer_;
  std::size_t dirty_ = 0;  // bytes written by the previous read
};

}  // namespace vantorix
