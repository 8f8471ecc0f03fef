// The real program against a server whose replies come from pyrad, an
// encoder the program does not share: the answers FreeRADIUS will not send.
#include <gtest/gtest.h>

#include <string>

#include "process_runner.h"
#include "pyrad_server.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

class PyradInteropTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.running()) << server_.failure(); }
  void configure(const std::string& extra) {
    dir_.write("vantorix.ini", "radius_host 127.0.0.1:" + std::to_string(server_.port()) + "\n" +
                                   "radius_secret " + PyradServer::kSecret + "\n" +
                                   "radius_user_file " + dir_.file("users.dat") + "\n"
                                   "radius_timeout 1\n"
                                   "radius_retries 0\n"
                                   "log true\n"
                                   "log_path " + dir_.file("vantorix.log") + "\n" + extra);
  }
  ProcessResult run(const std::vector<std::string>& switches, const std::string& input) {
    std::vector<std::string> argv = {vantorix_binary(), "-path", dir_.path()};
    argv.insert(argv.end(), switches.begin(), switches.end());
    ProcessResult result = run_process(argv, input, in_directory(dir_.path()));
    EXPECT_FALSE(result.timed_out);
    return result;
  }
  std::string log() const { return dir_.read("vantorix.log"); }

  PyradServer server_;
  TempDir dir_;
};

TEST_F(PyradInteropTest, EachReplyIsReadAsTheRfcsSay) {
  configure("radius_vsa_format standard\n");
  const std::string where = "127.0.0.1:" + std::to_string(server_.port());
  // vendor's replies are unsigned, the others signed: after the first signed
  // one, auto drops vendor's, and says when it starts to.
  const ProcessResult result = run({}, "check vendor x\ncheck acct wrong-password\ncheck challenge pw\n"
                                       "check alice pw\ncheck alice no\ncheck malast x\ncheck vendor x\n");
  EXPECT_EQ(result.out,
            "+OK vendor config 0 quota=10 shell:priv-lvl=15\n"
            "-ERR acct password wrong or not a valid user\n"
            "-ERR challenge password wrong or not a valid user\n"
            "+OK alice config 0\n"
            "-ERR alice password wrong or not a valid user\n"
            "+OK malast config 0\n"
            "-ERR vendor password wrong or not a valid user\n")
      << log() << server_.output();
  const std::string text = log();
  EXPECT_NE(text.find("dropped a reply from " + where + ": code 5 does not answer an Access-Request"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(where + " answered with an Access-Challenge (a second factor is configured for this user), "
                              "which a mail login cannot answer: refused; Reply-Message {Enter the code from your "
                              "phone}"),
            std::string::npos);
  EXPECT_NE(text.find(where + " sent a valid Message-Authenticator, so radius_require_message_authenticator auto "
                              "now requires one of it"),
            std::string::npos);
  const std::string users = dir_.read("users.dat");
  EXPECT_EQ(users.find("acct"), std::string::npos) << "an Accounting-Response accepts nobody";
  EXPECT_EQ(users.find("challenge"), std::string::npos);
  EXPECT_NE(users.find("malast"), std::string::npos);
}

TEST_F(PyradInteropTest, TestConfigJudgesByTheRulesOfACheck) {
  configure("radius_require_message_authenticator yes\n");
  ProcessResult result = run({"-test_config", "vendor", "x"}, "");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.out.find("without a Message-Authenticator, and radius_require_message_authenticator yes drops "
                            "such replies: every check would fail"),
            std::string::npos)
      << result.out;
  result = run({"-test_config", "malast", "x"}, "");
  EXPECT_EQ(result.exit_status, 0) << result.out;
  result = run({"-test_config", "acct", "x"}, "");
  EXPECT_EQ(result.exit_status, 1) << "an Accounting-Response is no answer: " << result.out;
}

}  // namespace
}  // namespace vantorix::testing
