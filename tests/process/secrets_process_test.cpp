// Secrets and warnings as an administrator meets them: the log's bytes hold
// no secret in any spelling the configuration file may give it, and what is
// wrong with a configuration is said in the log, whatever the modes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fake_radius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

constexpr const char* kSecret = "Secret-real-3";

void make_private(const std::string& path) {
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

class SecretsProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ready()); }

  ProcessResult run(std::vector<std::string> arguments, const std::string& input) {
    arguments.insert(arguments.begin(), {vantorix_binary(), "-path", dir_.path()});
    ProcessOptions options;
    options.working_directory = dir_.path();
    options.timeout = std::chrono::seconds(30);
    ProcessResult result = run_process(arguments, input, options);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return result;
  }
  std::string config_head() const {
    return "radius_host 127.0.0.1\n"
           "radius_port " + std::to_string(server_.port()) + "\n"
           "radius_user_file " + dir_.file("users.dat") + "\n"
           "log_path " + dir_.file("vantorix.log") + "\n";
  }
  std::string log() const { return dir_.read("vantorix.log"); }
  bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }

  FakeRadiusServer server_{kSecret};
  TempDir dir_;
};

TEST_F(SecretsProcessTest, NoSpellingOfASecretReachesTheLogOrTheDebugEcho) {
  dir_.write("vantorix.ini", config_head() +
                                 "log true\n"
                                 "RADIUS_SECRET Secret-wrong-1\n"
                                 "radius_secret=Secret-2\n"
                                 "Radius_Secret\t" + kSecret + "\n"
                                 "radius_secretive Secret-4\n"
                                 "info_pass Secret-5\n"
                                 "INFO_PASS=Secret-6\n"
                                 "radius_secert Secret-7\n"
                                 "radius_secert=Secret-8\n"
                                 " radius_secret Secret-9\n"
                                 "Info_Pass  Secret-10 with blanks\n");
  make_private(dir_.file("vantorix.ini"));

  // A password with a blank: its tail lands where the client address goes.
  ProcessResult session = run({"-debug"}, "check alice pw\ninfo Secret-10 with blanks\n"
                                          "check carol pass Secret-12\ncheck dave pw 192.0.2.7\nexit\n");
  EXPECT_NE(session.out.find("+OK alice config 0"), std::string::npos) << session.out;
  ProcessResult one_shot = run({"-log", "-check", "bob", "Secret-pw-11"}, "");
  EXPECT_EQ(one_shot.out, "+OK bob config 0\n");
  ASSERT_EQ(server_.requests().size(), 4u);
  EXPECT_EQ(server_.requests()[3].password, "Secret-pw-11");

  const std::string text = log();
  EXPECT_EQ(text.find("Secret-"), std::string::npos) << text;
  EXPECT_EQ(session.out.find("Secret-"), std::string::npos) << session.out;
  // What the administrator sees instead.
  EXPECT_TRUE(logged("INI:         Located {Radius_Secret} {(hidden)}"));
  EXPECT_TRUE(logged("INI:         Located {radius_secret(hidden)} {(hidden)}"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {radius_secert} is ignored"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {radius_secret(hidden)} is ignored"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {} is ignored"));
  EXPECT_TRUE(logged("*** 6 - (hidden) ***"));
  EXPECT_TRUE(logged("...Checking: User='carol'   Pass='xxxx'  IP='(hidden)'"));
  EXPECT_TRUE(logged("...Checking: User='dave'   Pass='xxxx'  IP='192.0.2.7'"));
}

TEST_F(SecretsProcessTest, WarningsReachTheLogWithLoggingOff) {
  dir_.write("vantorix.ini", config_head() +
                                 "radius_secret " + std::string(kSecret) + "\n"
                                 "radius_port " + std::to_string(server_.port()) + "x\n"
                                 "lowercase_usernames true\n");
  // Both files readable by others, as a careless copy leaves them.
  dir_.write("users.dat", "");
  std::filesystem::permissions(dir_.file("users.dat"), std::filesystem::perms::others_read,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(run({}, "check alice pw\nexit\n").out, "+OK alice config 0\n+OK\n");
  const std::string text = log();
  EXPECT_NE(text.find("ERROR: INI: {" + dir_.file("vantorix.ini") + "} can be read or written by other accounts"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("ERROR: radius_port {" + std::to_string(server_.port()) +
                      "x} is not a number from 0 to 65535: port " + std::to_string(server_.port()) + " will be used"),
            std::string::npos);
  EXPECT_NE(text.find("ERROR: INI: Unknown key {lowercase_usernames} is ignored"), std::string::npos);
  EXPECT_NE(text.find("ERROR: Userfile {" + dir_.file("users.dat") + "} can be read or written by other accounts"),
            std::string::npos);
  EXPECT_EQ(text.find("Located"), std::string::npos) << "only errors, since logging is off";

  // "log" with another value than true or false turns logging off, and says so.
  dir_.write("vantorix.ini", "log yes\n" + config_head() + "radius_secret " + std::string(kSecret) + "\n");
  make_private(dir_.file("vantorix.ini"));
  std::filesystem::remove(dir_.file("vantorix.log"));
  run({}, "exit\n");
  EXPECT_TRUE(logged("ERROR: INI: log {yes} is neither true nor false: logging is off")) << log();
}

TEST_F(SecretsProcessTest, FailedStartSaysWhyOnStandardErrorToo) {
  dir_.write("vantorix.ini", "radius_host 10.1.2.256\nradius_secret " + std::string(kSecret) + "\n"
                             "log_path " + dir_.file("vantorix.log") + "\n");
  make_private(dir_.file("vantorix.ini"));
  const ProcessResult result = run({}, "check alice pw\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "-DEAD: Couldn't find host {10.1.2.256}\n");
  EXPECT_TRUE(logged("ERROR: -DEAD: Couldn't find host {10.1.2.256}"));
  EXPECT_TRUE(server_.requests().empty());
}

}  // namespace
}  // namespace vantorix::testing
