// The demo command (scripts/demo.sh) driven through a pipe, as a user would
// type at it: a throwaway FreeRADIUS with the demo users, vantorix in the
// foreground, and everything stopped and removed when vantorix ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "process_runner.h"

namespace vantorix::testing {
namespace {

using namespace std::chrono_literals;

ProcessResult run_demo(const std::string& input) {
  ProcessOptions options;
  // Use the program this build made instead of installing and building.
  options.environment = {{"VANTORIX", vantorix_binary()}};
  options.timeout = 60000ms;
  return run_process({"/bin/bash", source_dir() + "/scripts/demo.sh"}, input, options);
}

bool server_missing(const ProcessResult& result) {
  return result.err.find("FreeRADIUS is not installed") != std::string::npos;
}

// The demo's temporary directory and the server's pid, as it announced them.
struct Announced {
  std::string directory;
  std::string server_pid;
};

// The text that follows `label` in `text` up to the next blank, ')' or line end.
std::string word_after(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  if (at == std::string::npos) return {};
  const auto begin = at + label.size();
  return text.substr(begin, text.find_first_of(" )\n", begin) - begin);
}

Announced announced(const std::string& err) {
  return {word_after(err, "Temporary directory: "), word_after(err, "FreeRADIUS (pid ")};
}

void expect_cleaned_up(const ProcessResult& result) {
  const Announced what = announced(result.err);
  ASSERT_FALSE(what.directory.empty()) << result.err;
  ASSERT_FALSE(what.server_pid.empty()) << result.err;
  EXPECT_FALSE(std::filesystem::exists(what.directory)) << "temporary directory left behind";
  EXPECT_FALSE(std::filesystem::exists("/proc/" + what.server_pid)) << "server still running";
}

TEST(Demo, AnswersTypedCommandsAgainstItsServer) {
  const ProcessResult result = run_demo(
      "help\n"
      "check alice wonderland\n"
      "lookup alice\n"
      "check bob 0123456789-forty-character-password-abcd\n"
      "check carol carolpass\n"
      "check dave wrong-password\n"
      "lookup erin\n"
      "info\n"
      "exit\n");
  if (server_missing(result)) GTEST_SKIP() << "FreeRADIUS is not installed";
  ASSERT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_status, 0) << result.err;
  // Standard output carries vantorix's replies and nothing else.
  EXPECT_EQ(result.out,
            "+DATA Valid commands\n"
            "+DATA     check <username> <password> [fromIPaddress]\n"
            "+DATA     lookup <username>\n"
            "+DATA     exit\n"
            "+OK\n"
            "+OK alice config 0\n"
            "+OK alice config 0\n"
            "+OK bob config 0\n"
            "+OK carol config 0 quota=2048M mailbox=carol\n"
            "-ERR dave password wrong or not a valid user\n"
            "-ERR erin Not Located\n"
            "+DATA External Authentication v2.4b (Vantorix)\n"
            "+OK\n"
            "+OK\n");
  // The demo users and their passwords are on the terminal, on standard error.
  EXPECT_NE(result.err.find("alice  wonderland"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("0123456789-forty-character-password-abcd"), std::string::npos);
  expect_cleaned_up(result);
}

// However vantorix ends, the server is stopped and the directory removed.
TEST(Demo, CleansUpWhenTheProgramEnds) {
  const struct {
    const char* ending;
    const char* input;
    const char* output;
  } cases[] = {
      {"quit", "check alice wonderland\nquit\n", "+OK alice config 0\n+OK\n"},
      {"end of input", "check alice wonderland\n", "+OK alice config 0\n"},
      {"nothing typed", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ending);
    const ProcessResult result = run_demo(c.input);
    if (server_missing(result)) GTEST_SKIP() << "FreeRADIUS is not installed";
    ASSERT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, c.output);
    expect_cleaned_up(result);
  }
}

}  // namespace
}  // namespace vantorix::testing
