// Small text rules that every part of the program shares: ASCII letter case
// (never the C locale's), the leading-number rule of C's atoi, and a text
// builder that cuts at a fixed capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantorix {

/// 'A' to 'Z' become 'a' to 'z'; every other byte stays as it is.
constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/// Lower-cases the ASCII letters of `text` in place.
void ascii_lower_in_place(std::string& text);

/// True when `a` and `b` have the same length and agree with ASCII letters
/// folded to lower case.
bool equals_nocase(std::string_view a, std::string_view b);

/// Compares at most `n` characters with ASCII letters folded to lower case and
/// other bytes as unsigned values: 0 when they agree (or both texts end
/// together within them), else the difference of the first differing pair.
/// A null text counts as empty.
int compare_prefix_nocase(const char* first, const char* second, int n);

/// The decimal number at the start of `text` as C's atoi reads it: leading
/// white space (space, \t, \n, \v, \f, \r), one optional sign, then digits up
/// to the first other character; 0 without digits. Held to the range of int
/// instead of overflowing.
int leading_number(std::string_view text);

/// Builds a text in a caller's buffer of `buffer.size()` bytes, terminator
/// included, and never writes past it: what does not fit is cut. The text is
/// always terminated. A buffer of no bytes takes nothing.
class TextBuilder {
 public:
  explicit TextBuilder(std::span<char> buffer) : buffer_(buffer) { terminate(); }

  void append(std::string_view text);
  void put(char c) { append(std::string_view(&c, 1)); }
  /// `count` copies of `c` (nothing for 0 or less); a huge count costs no more
  /// than the room that is left.
  void fill(char c, std::int64_t count);

  /// True when no further character fits.
  bool full() const { return size_ + 1 >= buffer_.size(); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {buffer_.data(), size_}; }
  const char* c_str() const { return buffer_.empty() ? "" : buffer_.data(); }

 private:
  std::size_t room() const { return buffer_.empty() ? 0 : buffer_.size() - 1 - size_; }
  void terminate() {
    if (!buffer_.empty()) buffer_[size_] = '\0';
  }

  std::span<char> buffer_;
  std::size_t size_ = 0;
};

}  // namespace vantorix
