#include "convert/zeauth_convert.h"

#include <cstring>

#include "platform/system.h"
#include "text/text_helpers.h"

namespace vantorix {
namespace {

constexpr const char* kBatchFile = "ze_convert.bat";
constexpr const char* kInputFile = "ze_input.dat";
constexpr const char* kAccountFiles[] = {"zeauth.txt", "zeauth.add"};

// The line end of an account line: "\r\n", "\n", or nothing for the last
// line of a file (or a piece of an over-long line).
std::string_view line_end_of(std::string_view line) {
  if (line.ends_with("\r\n")) return line.substr(line.size() - 2);
  if (line.ends_with('\n')) return line.substr(line.size() - 1);
  return {};
}

void write_text(std::FILE* file, const std::string& text) {
  if (file != nullptr && !text.empty()) std::fwrite(text.data(), 1, text.size(), file);
}

}  // namespace

std::string quote_information(std::string_view info) {
  std::string out = "\"";
  bool inside_quotes = false;
  bool after_space = false;
  for (char c : info) {
    if (c == '\r' || c == '\n') break;
    const char* piece;
    char single[2] = {c, '\0'};
    if (inside_quotes) {
      if (c == '"') {
        piece = "\\\"";
      } else if (c == '|') {
        piece = ":";
      } else {
        piece = single;
      }
    } else if (c == '"') {
      piece = "\\\"";
    } else if (c == '|') {
      piece = "\\|";
    } else if (c == ' ') {
      piece = after_space ? "" : "\" \"";
    } else {
      piece = single;
    }
    // Leave room for the closing quote; a character that does not fit whole
    // ends the text, so an escape is never split.
    std::size_t length = std::strlen(piece);
    if (out.size() + length + 1 > kMaxQuotedInformation) break;
    out += piece;
    if (inside_quotes) {
      if (c == '"') inside_quotes = false;
    } else if (c == '"') {
      inside_quotes = true;
    } else if (c == ' ') {
      after_space = true;
    } else if (c != '|') {
      after_space = false;
    }
  }
  if (out.size() == 1) return {};
  out += '"';
  return out;
}

bool convert_zeauth_line(std::string_view line, std::string_view executable, std::string& batch,
                         std::string& input) {
  std::size_t first = line.find(':');
  if (first == std::string_view::npos) return false;
  std::string_view user = line.substr(0, first);
  std::string_view rest = line.substr(first + 1);

  std::string_view password;
  std::string_view raw_information;  // as read, line end included
  std::string quoted;
  std::size_t second = rest.find(':');
  if (second != std::string_view::npos) {
    password = rest.substr(0, second);
    raw_information = rest.substr(second + 1);
    quoted = quote_information(raw_information);
  } else {
    // No information field: the password stops before the line end, and the
    // line end stands where the information would have been, so the command
    // file keeps one command per line.
    raw_information = line_end_of(rest);
    password = rest.substr(0, rest.size() - raw_information.size());
  }

  if (equals_nocase(password, "(DELETE)")) {
    batch.append(executable).append(" -del ").append(user).append("\n");
    input.append("del ").append(user).append("\n");
    return true;
  }
  if (password.starts_with('*')) password.remove_prefix(1);
  batch.append(executable).append(" -set ").append(user).append(" ").append(password);
  batch.append(" ").append(quoted).append("\n");
  input.append("set ").append(user).append(" ").append(password).append(" ");
  input.append(raw_information);
  // A line without a line end (the last line of a file, or a piece of an
  // over-long line) still ends its command, or the next one would be glued on.
  if (!raw_information.ends_with('\n')) input.append("\n");
  return true;
}

void convert_zeauth_file(std::FILE* batch, std::FILE* input, const char* executable,
                         const char* directory, const char* file_name) {
  if (batch == nullptr || executable == nullptr || directory == nullptr || file_name == nullptr) return;
  std::string path = directory;
  path += path_separator();
  path += file_name;
  // A path that would not fit the program's path area is not cut short (that
  // could name another file): the file counts as missing.
  if (path.size() > kMaxAccountPath) return;
  std::FILE* accounts = std::fopen(path.c_str(), "rb");
  if (accounts == nullptr) return;

  char line[kMaxAccountLine + 2];
  std::string batch_text;
  std::string input_text;
  while (std::fgets(line, kMaxAccountLine + 1, accounts) != nullptr) {
    batch_text.clear();
    input_text.clear();
    if (!convert_zeauth_line(std::string_view(line, std::strlen(line)), executable, batch_text,
                             input_text)) {
      continue;
    }
    write_text(batch, batch_text);
    write_text(input, input_text);
  }
  std::fclose(accounts);
}

int convert_zeauth(const char* directory, const char* executable) {
  if (directory == nullptr || executable == nullptr) return 0;
  std::FILE* batch = std::fopen(kBatchFile, "wb");
  std::FILE* input = std::fopen(kInputFile, "wb");
  if (batch != nullptr) {
    for (const char* name : kAccountFiles) convert_zeauth_file(batch, input, executable, directory, name);
    std::fclose(batch);
  }
  if (input != nullptr) std::fclose(input);
  return 1;
}

}  // namespace vantorix
