#include "frontend/line_reader.h"

#include <cstring>

namespace vantorix {

std::optional<std::string_view> LineReader::next() {
  std::memset(buffer_.data(), '\n', dirty_);
  dirty_ = buffer_.size();
  if (std::fgets(buffer_.data(), static_cast<int>(buffer_.size()), input_) == nullptr) return std::nullopt;

  std::size_t length = std::strlen(buffer_.data());
  const bool ends_line = length > 0 && buffer_[length - 1] == '\n';
  if (!ends_line && length < kMaxLine) {
    // A NUL inside the line, or the last line without a line feed: the text
    // read ends at the last NUL, since everything after it is still filler.
    length = kMaxLine;
    while (buffer_[length] != '\0') --length;
  }
  dirty_ = length + 1;

  if (length > 0 && buffer_[length - 1] == '\n') {
    if (length > 1 && buffer_[length - 2] == '\r') {
      buffer_[length - 2] = '\n';
      --length;
    }
    return std::string_view(buffer_.data(), length);
  }
  if (length == kMaxLine) {
    int c = std::getc(input_);
    if (buffer_[length - 1] == '\r' && c == '\n') {
      // The carriage return took the place of the line feed that ends a
      // line which fits once the pair is read as one line feed.
      buffer_[length - 1] = '\n';
      return std::string_view(buffer_.data(), length);
    }
    while (c != EOF && c != '\n') c = std::getc(input_);
  }
  return std::string_view(buffer_.data(), length);
}

}  // namespace vantorix
