#include "frontend/command_words.h"

namespace vantorix {

CommandWords split_command_line(std::string_view line) {
  // Trailing blanks go, but the first character always stays: an empty line
  // keeps its line feed as the command word.
  std::size_t end = line.size();
  while (end > 1) {
    const char c = line[end - 1];
    if (c != ' ' && c != '\t' && c != '\n') break;
    --end;
  }
  std::string_view rest = line.substr(0, end);

  CommandWords words;
  std::size_t k = 0;
  bool more = true;
  while (more && k < 3) {
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) {
      words[k++].emplace(rest);
      more = false;
      break;
    }
    words[k++].emplace(rest.substr(0, space));
    const std::size_t next = rest.find_first_not_of(' ', space);
    // A run of spaces at the very end still leaves an (empty) next word.
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next);
  }
  if (more) words[3].emplace(rest);
  return words;
}

}  // namespace vantorix
