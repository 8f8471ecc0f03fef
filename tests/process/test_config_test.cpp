// -test_config as an administrator runs it: the settings in effect, then
// what each server says, and an exit status a script can test.
#include <gtest/gtest.h>

#include <string>

#include "fake_radius_server.h"
#include "freeradius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

class TestConfigTest : public ::testing::Test {
 protected:
  ProcessResult run(const std::string& config, std::vector<std::string> extra = {}) {
    dir_.write("vantorix.ini", config + "radius_user_file " + dir_.file("users.dat") + "\nradius_timeout 1\n");
    std::vector<std::string> argv = {vantorix_binary(), "-path", dir_.path(), "-test_config"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ProcessResult result = run_process(argv, "check alice secret\n", in_directory(dir_.path()));
    EXPECT_FALSE(result.timed_out);
    return result;
  }
  static std::string udp(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

  TempDir dir_;
};

TEST_F(TestConfigTest, ReportsTheSettingsAndWhatEachServerSays) {
  FreeRadiusOptions options;
  options.status_server = true;
  FreeRadiusServer alive(options);
  FreeRadiusServer plain;  // does not answer Status-Server
  ASSERT_TRUE(alive.running()) << alive.failure();
  ASSERT_TRUE(plain.running()) << plain.failure();
  FakeRadiusServer other_secret("not-the-secret");
  const std::string hosts = udp(alive.port()) + ", " + udp(plain.port()) + ", " + udp(other_secret.port());
  const ProcessResult result = run("radius_host " + hosts + "\nradius_secret " +
                                   std::string(FreeRadiusServer::kSecret) + "\ninfo_pass letmein\nradius_secert x\n");
  EXPECT_EQ(result.exit_status, 1) << "one server does not answer validly";
  const std::string& out = result.out;
  // The directory of -path, then the platform's separator.
  EXPECT_NE(out.find("Configuration file: " + dir_.path()), std::string::npos) << out;
  EXPECT_NE(out.find("vantorix.ini\n"), std::string::npos) << out;
  EXPECT_NE(out.find("radius_host = " + hosts + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Warning: INI: Unknown key {radius_secert} is ignored: check its spelling"), std::string::npos)
      << "what the log was told is shown too";
  EXPECT_NE(out.find("radius_secret = (hidden)\n"), std::string::npos);
  EXPECT_NE(out.find("info_pass = (hidden)\n"), std::string::npos);
  EXPECT_EQ(out.find(FreeRadiusServer::kSecret), std::string::npos) << "no secret on the output";
  EXPECT_EQ(out.find("letmein"), std::string::npos);
  EXPECT_NE(out.find("radius_user_file = " + dir_.file("users.dat") + ": not there yet\n"), std::string::npos);
  EXPECT_NE(out.find("Server " + udp(alive.port()) + ": alive (answered Status-Server in "), std::string::npos)
      << out;
  EXPECT_NE(out.find("Server " + udp(plain.port()) + ": alive (answered an Access-Request in "), std::string::npos)
      << out;
  EXPECT_NE(out.find("Server " + udp(other_secret.port()) + ": wrong shared secret (check radius_secret)\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("+OK"), std::string::npos) << "no command is read";
}

TEST_F(TestConfigTest, UserAndPasswordAreCheckedAndNotRemembered) {
  FreeRadiusServer server;
  ASSERT_TRUE(server.running()) << server.failure();
  const std::string config = "radius_host " + udp(server.port()) + "\nradius_secret " +
                             std::string(FreeRadiusServer::kSecret) + "\nlog true\nlog_path " +
                             dir_.file("vantorix.log") + "\n";
  ProcessResult accepted = run(config, {"alice", "secret"});
  EXPECT_EQ(accepted.exit_status, 0) << accepted.out;
  EXPECT_NE(accepted.out.find("Server " + udp(server.port()) + ": accepted in "), std::string::npos) << accepted.out;
  ProcessResult rejected = run(config, {"alice", "wrong"});
  EXPECT_EQ(rejected.exit_status, 0) << "a refusal is an answer";
  EXPECT_NE(rejected.out.find(": rejected in "), std::string::npos) << rejected.out;
  EXPECT_EQ(dir_.read("users.dat"), "");
  const std::string log = dir_.read("vantorix.log");
  EXPECT_NE(log.find("*** 4 - alice ***"), std::string::npos) << log;
  EXPECT_NE(log.find("*** 5 - (hidden) ***"), std::string::npos) << "the password of -test_config is hidden";
}

TEST_F(TestConfigTest, UnopenableServersSayWhatToFix) {
  const ProcessResult unknown = run("radius_host 10.1.2.256\n");
  EXPECT_EQ(unknown.exit_status, 1);
  EXPECT_NE(unknown.out.find("The servers cannot be opened: -DEAD: Couldn't find host {10.1.2.256}"),
            std::string::npos)
      << unknown.out;
}

}  // namespace
}  // namespace vantorix::testing
