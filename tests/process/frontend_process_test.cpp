// The program over its standard input and output: replies, switches and exit
// statuses, and input that a careless or broken parent may send.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

using namespace std::string_literals;

const std::string kVersionReply = "+OK Velkor's Vantorix Version External Authentication v2.4b\n+OK\n";
const std::string kInfoBanner = "+DATA External Authentication v2.4b (Vantorix)\n";

class FrontendProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_.write("vantorix.ini", "radius_host 127.0.0.1\ninfo_pass Open-Sesame\n"); }

  // Runs the program from the temp directory with its configuration there.
  ProcessResult run(const std::string& input, std::vector<std::string> arguments = {}) {
    std::vector<std::string> argv = {vantorix_binary(), "-path", dir_.path()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ProcessOptions options;
    options.working_directory = dir_.path();
    options.timeout = std::chrono::milliseconds(10000);
    ProcessResult result = run_process(argv, input, options);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.signal, 0);
    return result;
  }

  static std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
  }

  TempDir dir_;
};

// The help answer lists whatever the backend offers, so only its frame is fixed.
TEST_F(FrontendProcessTest, AnswersEachCommandInOrder) {
  const ProcessResult result = run("help\nversion\nfoo\ninfo\nexit\nversion\n");
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> lines = lines_of(result.out);
  ASSERT_GE(lines.size(), 7u) << result.out;
  EXPECT_EQ(lines[0], "+DATA Valid commands");
  std::size_t i = 1;
  while (i < lines.size() && lines[i].starts_with("+DATA     ")) ++i;
  const std::vector<std::string> rest(lines.begin() + static_cast<long>(i), lines.end());
  const std::vector<std::string> expected = {
      "+OK",
      "+OK Velkor's Vantorix Version External Authentication v2.4b",
      "+OK",
      "-ERR Command not supported 'foo'",
      "+DATA External Authentication v2.4b (Vantorix)",
      "+OK",
  };
  ASSERT_GE(rest.size(), expected.size() + 1) << result.out;
  EXPECT_EQ(std::vector<std::string>(rest.begin(), rest.begin() + 6), expected);
  // exit answers once and ends the loop: the last version is never read.
  EXPECT_EQ(rest.size(), expected.size() + 1) << result.out;
  EXPECT_TRUE(rest.back() == "+OK" || rest.back() == "-ERR 'exit' is not supported") << rest.back();
}

TEST_F(FrontendProcessTest, InfoShowsSettingsOnlyWithThePassword) {
  EXPECT_EQ(run("info open-sesame\n").out, kInfoBanner + "+OK\n");
  EXPECT_EQ(run("info Open-Sesame\n").out, kInfoBanner +
                                               "+DATA\n"
                                               "+DATA       Domain = (NULL)\n"
                                               "+DATA     Log Path = vantorix.log\n"
                                               "+DATA     Server = 127.0.0.1:1645 live, requests 0, accepts 0, "
                                               "rejects 0, no reply 0, last round trip none, Status-Server not known yet, "
                                               "last probe never\n"
                                               "+OK\n");
}

TEST_F(FrontendProcessTest, DebugTogglesAndEchoesTheLog) {
  const ProcessResult result = run("debug\ndebug\nversion\n");
  EXPECT_TRUE(result.out.starts_with("+OK Debug Turned ON\n")) << result.out;
  // While debug mode is on, replies are echoed as log lines.
  EXPECT_NE(result.out.find("--> (+OK Debug Turned ON"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("+OK Debug Turned OFF\n"), std::string::npos) << result.out;
  EXPECT_TRUE(result.out.ends_with("+OK Debug Turned OFF\n" + kVersionReply)) << result.out;
}

TEST_F(FrontendProcessTest, OverLongLineGetsExactlyOneReply) {
  const std::string long_line(1500, 'x');
  const ProcessResult result = run(long_line + "\nversion\n" + std::string(1023, 'y') + "\nversion\n");
  EXPECT_EQ(result.out, "-ERR Command not supported 'xxxxxxxxxxxxxxxxxxxx'\n" + kVersionReply +
                            "-ERR Command not supported 'yyyyyyyyyyyyyyyyyyyy'\n" + kVersionReply);
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(FrontendProcessTest, BadBytesNeverBreakTheLockStep) {
  // Lines of binary garbage, NUL bytes among them; none holds a line feed.
  std::string input;
  unsigned state = 12345;
  const int garbage_lines = 200;
  for (int line = 0; line < garbage_lines; ++line) {
    input += 'z';
    const int length = static_cast<int>(state % 3000);
    for (int i = 0; i < length; ++i) {
      state = state * 1103515245u + 12345u;
      char c = static_cast<char>(state >> 16);
      input += c == '\n' ? '\0' : c;
    }
    input += '\n';
  }
  input += "version\r\nver";  // a carriage return, then a last line without line feed
  const ProcessResult result = run(input);
  EXPECT_EQ(result.exit_status, 0);
  std::size_t unknown = 0;
  for (std::size_t at = 0; (at = result.out.find("-ERR Command not supported 'z", at)) != std::string::npos; ++at) {
    ++unknown;
  }
  EXPECT_EQ(unknown, static_cast<std::size_t>(garbage_lines));
  EXPECT_TRUE(result.out.ends_with(kVersionReply + "-ERR Command not supported 'ver'\n")) << result.out.size();
}

TEST_F(FrontendProcessTest, NulByteEndsTheCommand) {
  const ProcessResult result = run("version\0 trailing\n\0\nversion"s);
  EXPECT_EQ(result.out, kVersionReply + "-ERR Command not supported ''\n" + kVersionReply);
}

TEST_F(FrontendProcessTest, SwitchesThatEndTheProgram) {
  const struct {
    std::vector<std::string> arguments;
    std::string out;
    int status;
  } cases[] = {
      {{"-Version", "-check"}, "Velkor's Vantorix Version External Authentication v2.4b\n+OK\n", 0},
      {{"-check", "alice"}, "Wrong number of paramters\n", 0},
      {{"-filtername.x"}, "Invalid parameter to filtername\n", 0},
      {{"-filtername,.", "-version"}, "Invalid second parameter to filtername\n", 0},
      {{"-gen_file", "2"}, "-ERR 'Generate File' is not supported\n", 1},
      {{"-convert_zeauth"}, "", 1},
  };
  for (const auto& c : cases) {
    const ProcessResult result = run("help\n", c.arguments);
    EXPECT_EQ(result.out, c.out) << c.arguments[0];
    EXPECT_EQ(result.exit_status, c.status) << c.arguments[0];
  }
  EXPECT_EQ(dir_.read("zeauth_script.bat"), "");
}

TEST_F(FrontendProcessTest, HelpListsEverySwitchOnStandardOutput) {
  for (const char* help : {"-help", "--help", "-HELP"}) {
    const ProcessResult result = run("help\n", {"-log", help, "-check", "alice", "pw"});
    EXPECT_EQ(result.exit_status, 0) << help;
    EXPECT_EQ(result.err, "") << help;
    EXPECT_TRUE(result.out.starts_with("Usage: vantorix [-path DIR]")) << result.out;
    for (const char* name : {"-path", "-ini", "-log", "-debug", "-filtername", "-check", "-lookup", "-test_config",
                             "-convert_zeauth", "-version", "-help"}) {
      EXPECT_NE(result.out.find("\n  " + std::string(name)), std::string::npos) << name;
    }
    EXPECT_TRUE(result.out.ends_with("\nThe manual: man vantorix (on Windows: vantorix.txt beside vantorix.exe)\n"));
  }
}

TEST_F(FrontendProcessTest, SecondPassComparesSwitchesExactly) {
  const ProcessResult result = run("help\n", {"-Debug"});
  EXPECT_NE(result.out.find("-ERR: invalid switch {-Debug}\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("+DATA Valid commands"), std::string::npos);  // standard input is never read
  EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
}  // namespace vantorix::testing
