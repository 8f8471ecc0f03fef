// The real program against a real FreeRADIUS on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "freeradius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

const std::string kLongPassword = "Correct-Horse-Battery-Staple-0123456789x";               // 40 characters
const std::string kLongName = "a-rather-long-mailbox-name-for-tests@mail.example-site.co.uk";  // 60 characters

class RadiusProcessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<FreeRadiusServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override { ASSERT_TRUE(server_->running()) << server_->failure(); }

  // Runs the program in the test's directory with a configuration that points
  // at the server.
  ProcessResult run(const std::string& input, const std::string& secret = FreeRadiusServer::kSecret,
                    const std::string& extra = "") {
    dir_.write("vantorix.ini", "radius_host 127.0.0.1\n"
                               "radius_port " + std::to_string(server_->port()) + "\n"
                               "radius_secret " + secret + "\n"
                               "radius_user_file " + dir_.file("users.dat") + "\n"
                               "log true\n"
                               "log_path " + dir_.file("vantorix.log") + "\n" + extra);
    // Private, as it should be: a file others may read is warned about.
    std::filesystem::permissions(dir_.file("vantorix.ini"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ProcessOptions options;
    options.working_directory = dir_.path();
    ProcessResult result = run_process({vantorix_binary(), "-path", dir_.path()}, input, options);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return result;
  }
  std::string log() const { return dir_.read("vantorix.log"); }

  static std::unique_ptr<FreeRadiusServer> server_;
  TempDir dir_;
};

std::unique_ptr<FreeRadiusServer> RadiusProcessTest::server_;

TEST_F(RadiusProcessTest, SessionOfHelpCheckLookupAndExit) {
  ProcessResult result = run("help\ncheck alice secret\nlookup alice\nexit\n");
  EXPECT_EQ(result.out,
            "+DATA Valid commands\n"
            "+DATA     check <username> <password> [fromIPaddress]\n"
            "+DATA     lookup <username>\n"
            "+DATA     exit\n"
            "+OK\n"
            "+OK alice config 0\n"
            "+OK alice config 0\n"
            "+OK\n")
      << server_->output();
  const std::string text = log();
  EXPECT_NE(text.find("Got Server Name"), std::string::npos);
  EXPECT_NE(text.find("Socket has been Bounded: "), std::string::npos);
  EXPECT_NE(text.find("Closing down RADIUS connection. {"), std::string::npos);
  EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
}

TEST_F(RadiusProcessTest, WrongPasswordIsRefused) {
  EXPECT_EQ(run("check alice Secret\n").out, "-ERR alice password wrong or not a valid user\n");
  EXPECT_EQ(run("check nobody secret\n").out, "-ERR nobody password wrong or not a valid user\n");
}

TEST_F(RadiusProcessTest, LongPasswordsAndLongNamesReachTheServerWhole) {
  ProcessResult result = run("check longpass " + kLongPassword + "\ncheck " + kLongName + " short\n" +
                             "check longpass " + kLongPassword.substr(0, 16) + "\n");
  EXPECT_EQ(result.out, "+OK longpass config 0\n+OK " + kLongName + " config 0\n" +
                            "-ERR longpass password wrong or not a valid user\n")
      << server_->output();
}

TEST_F(RadiusProcessTest, TextsOfCode26AttributesEndTheSuccessLine) {
  // The reply carries a Reply-Message, which is not shown, and two code-26
  // attributes, "mailbox=1" then "quota=10": the later one comes first.
  EXPECT_EQ(run("check carol carols-pw\n").out, "+OK carol config 0 quota=10 mailbox=1\n");
}

TEST_F(RadiusProcessTest, WrongSecretLooksLikeASilentServer) {
  // FreeRADIUS drops a request whose Message-Authenticator was made with
  // another secret, so no reply comes; the log says what that can mean.
  ProcessResult result =
      run("check alice secret\ncheck alice secret\n", "not-the-secret", "radius_timeout 1\nradius_dead_time 0\n");
  EXPECT_EQ(result.out,
            "-ERR alice password wrong or not a valid user\n"
            "-ERR alice password wrong or not a valid user\n");
  EXPECT_NE(log().find("ERROR: radius: no valid reply from any server: 127.0.0.1:" + std::to_string(server_->port()) +
                       " (1.0 s); a wrong radius_secret looks the same"),
            std::string::npos);
}

TEST_F(RadiusProcessTest, AcceptedUserIsRememberedForLaterLookups) {
  EXPECT_EQ(run("lookup carol\n").out, "-ERR carol Not Located\n");
  EXPECT_EQ(run("check carol carols-pw\n").out, "+OK carol config 0 quota=10 mailbox=1\n");
  const std::string stored = dir_.read("users.dat");
  EXPECT_NE(stored.find("carol"), std::string::npos);
  EXPECT_EQ(stored.find("carols-pw"), std::string::npos) << "the password is kept scrambled";
  // Other users may not open it: mode 0600, or 0640 where Wine gives the
  // Windows program's owner-only access list its nearest Unix mode.
  struct stat st {};
  ASSERT_EQ(::stat(dir_.file("users.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0007, 0u) << std::oct << (st.st_mode & 0777);
  // A new process reads the user file and asks the server with the
  // remembered password.
  EXPECT_EQ(run("lookup carol\nlookup nobody\n").out,
            "+OK carol config 0 quota=10 mailbox=1\n-ERR nobody Not Located\n");
}

}  // namespace
}  // namespace vantorix::testing
