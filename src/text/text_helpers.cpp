#include "text/text_helpers.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace vantorix {

void ascii_lower_in_place(std::string& text) {
  for (char& c : text) c = ascii_lower(c);
}

bool equals_nocase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

int compare_prefix_nocase(const char* first, const char* second, int n) {
  if (first == nullptr) first = "";
  if (second == nullptr) second = "";
  for (int i = 0; i < n; ++i) {
    const int a = static_cast<unsigned char>(ascii_lower(first[i]));
    const int b = static_cast<unsigned char>(ascii_lower(second[i]));
    if (a != b) return a - b;
    if (a == 0) return 0;
  }
  return 0;
}

int leading_number(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // One past INT_MAX keeps the sum bounded and lets INT_MIN through.
  constexpr long long kBound = static_cast<long long>(INT_MAX) + 1;
  long long value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = std::min(value * 10 + (text[at] - '0'), kBound);
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min<long long>(value, INT_MAX));
}

void TextBuilder::append(std::string_view text) {
  const std::size_t n = std::min(text.size(), room());
  if (n == 0) return;
  std::memcpy(buffer_.data() + size_, text.data(), n);
  size_ += n;
  terminate();
}

void TextBuilder::fill(char c, std::int64_t count) {
  if (count <= 0) return;
  const std::size_t n = std::min(static_cast<std::uint64_t>(count), static_cast<std::uint64_t>(room()));
  if (n == 0) return;
  std::memset(buffer_.data() + size_, c, n);
  size_ += n;
  terminate();
}

}  // namespace vantorix
