// -test_config as an administrator runs it: the settings in effect, then
// what each server says, and an exit status a script can test.
#include <gtest/gtest.h>

#include <filesystem>
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

// The commonest mistakes of an administrator's first hour, each made once:
// a normal start says what to fix on standard error, and in the log with
// logging off, and -test_config says it too. Nothing is refused.
TEST_F(TestConfigTest, FirstHourMistakesSayWhatToFix) {
  FakeRadiusServer server("first-hour");
  ASSERT_TRUE(server.ready());
  const std::string missing = dir_.file("missing");
  struct Case {
    const char* name;
    std::string lines;         // after the server, the secret (unless `no_secret`) and the log path
    bool no_secret = false;
    std::string out;           // in -test_config's output
    std::string err;           // on standard error of a normal start
    bool logged = true;        // `err` without "Warning: " is an error line of the log
    std::string path = {};     // -path; empty: the test's directory
    bool probe = true;         // false: the servers are not asked (not all on loopback)
  };
  const Case cases[] = {
      {"a comment after a value", "domain example.org # ours\n", false, "domain = example.org # ours\n",
       "Warning: INI: the value of {domain} holds \" #\", which looks like a comment, but a value has none: "
       "{example.org # ours} is used as it stands"},
      {"a comment after log true", "log true # on\n", false, "log = false\n",
       "Warning: INI: log {true # on} is neither true nor false: logging is off", false},
      {"no secret", "", true,
       "radius_secret = (none: the requests are signed with a placeholder no server shares, so every server drops "
       "them)\n",
       "Warning: radius_secret is not set: requests are signed with the placeholder {set one first}, which no "
       "server shares, so every server will drop them"},
      {"a misspelled secret", "radius_secert first-hour\n", true, "radius_secret = (none:",
       "Warning: INI: Unknown key {radius_secert} is ignored"},
      {"an IPv6 address with what looks like a port", "radius_host ::1:1812, 127.0.0.1:9\n", false, "",
       "Warning: radius_host entry {::1:1812} is read as the IPv6 address ::1:1812 with port 1645; if 1812 is "
       "meant as the port, write [::1]:1812",
       true, "", false},
      // The system's reasons differ between systems; what is said around them does not.
      {"a user file in a missing directory", "radius_user_file " + missing + "/users.dat\n", false,
       " (" + missing + " does not exist)\n", "Warning: Userfile {" + missing + "/users.dat} cannot be created: "},
      {"a log in a missing directory", "log true\nlog_path " + missing + "/vantorix.log\n", false,
       "log_path = " + missing + "/vantorix.log: cannot be created: ",
       "Log file {" + missing + "/vantorix.log} cannot be written: ", false},
      // The file is then found in the current directory, the third place.
      {"a -path that names no directory", "", false, "): it is passed over, and {", "Warning: INI: {" + missing,
       true, missing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.path == missing && std::filesystem::exists("/etc/vantorix.ini")) continue;  // read before the third place
    const std::string path = c.path.empty() ? dir_.path() : c.path;
    std::string config = "radius_host 127.0.0.1:" + std::to_string(server.port()) + "\nradius_timeout 1\n";
    if (!c.no_secret) config += "radius_secret first-hour\n";
    dir_.write("vantorix.ini", config + "log_path " + dir_.file("vantorix.log") + "\nradius_user_file " +
                                   dir_.file("users.dat") + "\n" + c.lines);
    std::filesystem::permissions(dir_.file("vantorix.ini"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::remove(dir_.file("vantorix.log"));

    const ProcessResult start = run_process({vantorix_binary(), "-path", path}, "exit\n", in_directory(dir_.path()));
    EXPECT_EQ(start.out, "+OK\n") << "the parent's protocol is not disturbed";
    EXPECT_NE(start.err.find(c.err), std::string::npos) << start.err;
    EXPECT_EQ(start.err.find(c.err, start.err.find(c.err) + 1), std::string::npos) << "said once: " << start.err;
    if (c.logged) {
      const std::string log = dir_.read("vantorix.log");
      EXPECT_NE(log.find("ERROR: " + c.err.substr(c.err.find(':') + 2)), std::string::npos) << log;
      EXPECT_EQ(log.find("Located"), std::string::npos) << "logging is off: only errors";
    }
    if (!c.probe) continue;
    const ProcessResult test =
        run_process({vantorix_binary(), "-path", path, "-test_config"}, "", in_directory(dir_.path()));
    EXPECT_NE(test.out.find(c.out), std::string::npos) << test.out;
    if (c.err.starts_with("Warning: ")) {
      EXPECT_NE(test.out.find(c.err), std::string::npos) << test.out;
    }
    EXPECT_NE(test.out.find("\nAccount: "), std::string::npos) << test.out;
  }
}

}  // namespace
}  // namespace vantorix::testing
