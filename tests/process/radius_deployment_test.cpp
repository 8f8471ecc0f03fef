// The real program against real FreeRADIUS servers set up as sites run
// them: several servers, Message-Authenticator required, IPv6, standard
// Vendor-Specific attributes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "freeradius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

class RadiusDeploymentTest : public ::testing::Test {
 protected:
  // Runs the program with `hosts` as radius_host and `extra` configuration lines.
  ProcessResult run(const std::string& hosts, const std::string& input, const std::string& extra = "") {
    dir_.write("vantorix.ini", "radius_host " + hosts + "\n"
                               "radius_secret " + std::string(FreeRadiusServer::kSecret) + "\n"
                               "radius_user_file " + dir_.file("users.dat") + "\n"
                               "info_pass pw\n"
                               "log true\n"
                               "log_path " + dir_.file("vantorix.log") + "\n" + extra);
    ProcessResult result = run_process({vantorix_binary(), "-path", dir_.path()}, input, in_directory(dir_.path()));
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return result;
  }
  static std::string at(const FreeRadiusServer& server) { return "127.0.0.1:" + std::to_string(server.port()); }
  std::string log() const { return dir_.read("vantorix.log"); }

  TempDir dir_;
};

TEST_F(RadiusDeploymentTest, ServerThatRequiresMessageAuthenticatorAcceptsTheRequests) {
  FreeRadiusOptions options;
  options.require_message_authenticator = true;
  FreeRadiusServer server(options);
  ASSERT_TRUE(server.running()) << server.failure();
  EXPECT_EQ(run(at(server), "check alice secret\ncheck alice wrong\n").out,
            "+OK alice config 0\n-ERR alice password wrong or not a valid user\n")
      << server.output();
}

TEST_F(RadiusDeploymentTest, SignedRepliesAreVerifiedAndThenRequired) {
  FreeRadiusServer server;
  ASSERT_TRUE(server.running()) << server.failure();
  // "signed" gets an Access-Accept with a Message-Authenticator; from then on
  // (auto) the server's replies must carry one, and alice's do not.
  EXPECT_EQ(run(at(server), "check signed signed-pw\ncheck alice secret\n", "radius_timeout 1\n").out,
            "+OK signed config 0\n-ERR alice password wrong or not a valid user\n");
  EXPECT_NE(log().find("it carries no Message-Authenticator"), std::string::npos);
  EXPECT_EQ(run(at(server), "check signed signed-pw\n", "radius_require_message_authenticator yes\n").out,
            "+OK signed config 0\n");
  EXPECT_EQ(run(at(server), "check signed signed-pw\ncheck alice secret\n",
                "radius_require_message_authenticator no\n")
                .out,
            "+OK signed config 0\n+OK alice config 0\n");
}

TEST_F(RadiusDeploymentTest, StoppedFirstServerFailsOverToTheSecond) {
  FreeRadiusServer first;
  FreeRadiusServer second;
  ASSERT_TRUE(first.running()) << first.failure();
  ASSERT_TRUE(second.running()) << second.failure();
  first.stop();
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult result =
      run(at(first) + ", " + at(second), "check alice secret\ncheck alice secret\ninfo pw\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3))
      << "a closed port is given up at once, and a dead server asked last";
  EXPECT_TRUE(result.out.starts_with("+OK alice config 0\n+OK alice config 0\n")) << result.out;
  EXPECT_NE(result.out.find("+DATA     Server = " + at(first) + " dead ("), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("+DATA     Server = " + at(second) + " live, requests 2, accepts 2"), std::string::npos)
      << result.out;
}

TEST_F(RadiusDeploymentTest, Ipv6ServerIsReachedThroughItsLiteral) {
  FreeRadiusOptions options;
  options.ipv4 = false;
  options.ipv6 = true;
  FreeRadiusServer server(options);
  ASSERT_TRUE(server.running()) << server.failure();
  const std::string port = std::to_string(server.port());
  EXPECT_EQ(run("[::1]:" + port, "check alice secret\n").out, "+OK alice config 0\n") << server.output();
  EXPECT_EQ(run("::1", "check alice secret\n", "radius_port " + port + "\n").out, "+OK alice config 0\n");
}

TEST_F(RadiusDeploymentTest, StandardVendorLayoutShowsTheSubAttributeText) {
  FreeRadiusServer server;
  ASSERT_TRUE(server.running()) << server.failure();
  EXPECT_EQ(run(at(server), "check vendor vendor-pw\n", "radius_vsa_format standard\n").out,
            "+OK vendor config 0 shell:priv-lvl=15\n");
  EXPECT_EQ(run(at(server), "check vendor vendor-pw\n").out, "+OK vendor config 0 \n")
      << "read whole, the vendor id's zero byte ends the text";
}

}  // namespace
}  // namespace vantorix::testing
