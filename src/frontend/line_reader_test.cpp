#include "frontend/line_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vantorix {
namespace {

using namespace std::string_literals;

// Every line the reader gives for `input`.
std::vector<std::string> read_all(const std::string& input) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return {};
  std::fwrite(input.data(), 1, input.size(), file);
  std::rewind(file);
  LineReader reader(file);
  std::vector<std::string> lines;
  while (const auto line = reader.next()) lines.emplace_back(*line);
  std::fclose(file);
  return lines;
}

using Lines = std::vector<std::string>;

TEST(LineReader, OneLinePerLineFeedAndALastLineWithoutOne) {
  EXPECT_EQ(read_all(""), Lines{});
  EXPECT_EQ(read_all("help\nversion\n"), (Lines{"help\n", "version\n"}));
  EXPECT_EQ(read_all("help\n\nexit"), (Lines{"help\n", "\n", "exit"}));
}

TEST(LineReader, CarriageReturnBeforeLineFeedIsDropped) {
  EXPECT_EQ(read_all("help\r\ninfo\r\r\nx\ry\n\r"), (Lines{"help\n", "info\r\n", "x\ry\n", "\r"}));
}

TEST(LineReader, NulBytesStayInsideTheirLine) {
  EXPECT_EQ(read_all("he\0lp\nexit\n"s), (Lines{"he\0lp\n"s, "exit\n"}));
  EXPECT_EQ(read_all("\0\n\0"s), (Lines{"\0\n"s, "\0"s}));
  // A longer line first must not leave old bytes that look like a later line.
  EXPECT_EQ(read_all("abcdefgh\nx\0y"s), (Lines{"abcdefgh\n", "x\0y"s}));
}

TEST(LineReader, OverLongLineGivesOneCommandAndDropsTheRest) {
  const std::string fits(kMaxLine - 1, 'a');
  const std::string full(kMaxLine, 'b');
  EXPECT_EQ(read_all(fits + "\nexit\n"), (Lines{fits + "\n", "exit\n"}));
  EXPECT_EQ(read_all(full + "\nexit\n"), (Lines{full, "exit\n"}));
  EXPECT_EQ(read_all(full + std::string(5000, 'c') + "\nexit\n"), (Lines{full, "exit\n"}));
  EXPECT_EQ(read_all(full + "tail without line feed"), (Lines{full}));
  // CR LF counts as one line feed, so this line still fits.
  EXPECT_EQ(read_all(fits + "\r\nexit\n"), (Lines{fits + "\n", "exit\n"}));
  const std::string with_nul = "x\0"s + std::string(2000, 'd');
  EXPECT_EQ(read_all(with_nul + "\nexit\n"), (Lines{with_nul.substr(0, kMaxLine), "exit\n"}));
}

}  // namespace
}  // namespace vantorix
