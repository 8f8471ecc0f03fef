#include "frontend/command_words.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "frontend/dispatcher.h"

namespace vantorix {
namespace {

struct SplitCase {
  std::string line;
  std::optional<std::string> words[4];
};

TEST(SplitCommandLine, SplitsOnSpacesAndKeepsTheRest) {
  const std::optional<std::string> none;
  const SplitCase cases[] = {
      {"check alice secret\n", {"check", "alice", "secret", none}},
      {"check alice secret 10.1.2.3 extra  text\n", {"check", "alice", "secret", "10.1.2.3 extra  text"}},
      {"check   alice    secret", {"check", "alice", "secret", none}},
      {"lookup bob \t \n", {"lookup", "bob", none, none}},
      {"help", {"help", none, none, none}},
      // The first character is never trimmed: an empty line is its line feed.
      {"\n", {"\n", none, none, none}},
      {"\t\n", {"\t", none, none, none}},
      // Leading spaces give an empty command word.
      {"   ", {"", "", none, none}},
      {"  help", {"", "help", none, none}},
      // Tabs do not separate words; carriage returns are not trimmed.
      {"check\talice\tsecret\n", {"check\talice\tsecret", none, none, none}},
      {"help\r\n", {"help\r", none, none, none}},
      {"", {"", none, none, none}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "line: " << testing::PrintToString(c.line));
    const CommandWords words = split_command_line(c.line);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(words[i], c.words[i]) << "entry " << i;
  }
}

TEST(FindCommand, FirstLetterExactRestWithoutCase) {
  const struct {
    const char* word;
    Command command;
  } cases[] = {
      {"help", Command::help},     {"exit", Command::exit},       {"check", Command::check},
      {"lookup", Command::lookup}, {"set", Command::set},         {"mod", Command::mod},
      {"del", Command::del},       {"search", Command::search},   {"info", Command::info},
      {"debug", Command::debug},   {"quit", Command::quit},       {"version", Command::version},
      {"cHECK", Command::check},   {"qUIT", Command::quit},       {"vERSION", Command::version},
      {"CHECK", Command::unknown}, {"Check", Command::unknown},   {"QUIT", Command::unknown},
      {"Exit", Command::unknown},  {"HELP", Command::unknown},    {"chec", Command::unknown},
      {"checks", Command::unknown}, {"", Command::unknown},       {"\n", Command::unknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(find_command(c.word), c.command) << c.word;
  }
}

}  // namespace
}  // namespace vantorix
