#include "convert/zeauth_convert.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "temp_dir.h"

namespace vantorix {
namespace {

struct QuoteCase {
  const char* info;
  const char* quoted;
};

TEST(QuoteInformation, FollowsTheQuotingRules) {
  const QuoteCase cases[] = {
      {"", ""},
      {"\r\n", ""},
      {"word", "\"word\""},
      {"two words\n", "\"two\" \"words\""},
      {"a    b", "\"a\" \"b\""},
      {" lead", "\"\" \"lead\""},
      {"   ", "\"\" \"\""},
      {"x|y", "\"x\\|y\""},
      {"\"a|b  c\"", "\"\\\"a:b  c\\\"\""},
      // The space after a closing quote follows the earlier separator: it is not
      // a new one, so "e|f" joins the quoted words.
      {"a \"b c|d\" e|f", "\"a\" \"\\\"b c:d\\\"e\\|f\""},
      {"stop\rhere", "\"stop\""},
      {"a:b:c", "\"a:b:c\""},
  };
  for (const auto& c : cases) EXPECT_EQ(quote_information(c.info), c.quoted) << "info: " << c.info;
}

TEST(QuoteInformation, CutsWholeCharactersAndKeepsTheClosingQuote) {
  std::string plain(kMaxAccountLine, 'a');
  std::string quoted = quote_information(plain);
  EXPECT_EQ(quoted, "\"" + std::string(kMaxQuotedInformation - 2, 'a') + "\"");

  // Each '|' takes two characters: 2046 of them fit with both quotes.
  quoted = quote_information(std::string(kMaxAccountLine, '|'));
  std::string expected = "\"";
  for (int i = 0; i < 2046; ++i) expected += "\\|";
  EXPECT_EQ(quoted, expected + "\"");

  // Separators take three: the text ends before one that would not fit whole.
  std::string words;
  while (words.size() < kMaxAccountLine) words += "x ";
  quoted = quote_information(words);
  EXPECT_LE(quoted.size(), kMaxQuotedInformation);
  EXPECT_TRUE(quoted.ends_with("x\"")) << quoted.substr(quoted.size() - 8);
}

struct LineCase {
  const char* line;
  const char* batch;
  const char* input;
};

TEST(ConvertZeauthLine, WritesOneCommandPerAccount) {
  const LineCase cases[] = {
      {"bob:pw:info\r\n", "vx -set bob pw \"info\"\n", "set bob pw info\r\n"},
      {"carl:(DeLeTe):\r\n", "vx -del carl\n", "del carl\n"},
      {"erin:*(DELETE):i\n", "vx -set erin (DELETE) \"i\"\n", "set erin (DELETE) i\n"},
      // No line end (the last line of a file): the command still ends in one.
      {"last:pw:x", "vx -set last pw \"x\"\n", "set last pw x\n"},
      {":pw:x\n", "vx -set  pw \"x\"\n", "set  pw x\n"},
      // Only one colon: the password ends before the line end, which then
      // takes the information's place.
      {"frank:pw\n", "vx -set frank pw \n", "set frank pw \n"},
      {"gina:*pw\r\n", "vx -set gina pw \n", "set gina pw \r\n"},
      {"hal:(DELETE)\r\n", "vx -del hal\n", "del hal\n"},
      {"ivy:", "vx -set ivy  \n", "set ivy  \n"},
  };
  for (const auto& c : cases) {
    std::string batch, input;
    EXPECT_TRUE(convert_zeauth_line(c.line, "vx", batch, input)) << c.line;
    EXPECT_EQ(batch, c.batch) << c.line;
    EXPECT_EQ(input, c.input) << c.line;
  }
}

TEST(ConvertZeauthLine, SkipsLinesWithoutColon) {
  for (const char* line : {"", "\n", "\r\n", "nocolon here\n"}) {
    std::string batch, input;
    EXPECT_FALSE(convert_zeauth_line(line, "vx", batch, input));
    EXPECT_EQ(batch + input, "");
  }
}

std::string contents(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[512];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

TEST(ConvertZeauthFile, ReadsOverLongLinesInPieces) {
  testing::TempDir dir;
  // The first piece holds the account up to the bound; the rest of the line
  // is a piece of its own, without a colon, and is skipped.
  std::string info(kMaxAccountLine - 4, 'i');
  dir.write("zeauth.txt", "u:p:" + info + "TAIL\nv:q:\n");
  std::FILE* batch = std::tmpfile();
  std::FILE* input = std::tmpfile();
  convert_zeauth_file(batch, input, "vx", dir.path().c_str(), "zeauth.txt");
  // The first piece has no line end of its own; its command still gets one.
  EXPECT_EQ(contents(input), "set u p " + info + "\nset v q \n");
  EXPECT_EQ(contents(batch), "vx -set u p \"" + info + "\"\nvx -set v q \n");
  std::fclose(batch);
  std::fclose(input);
}

}  // namespace
}  // namespace vantorix
