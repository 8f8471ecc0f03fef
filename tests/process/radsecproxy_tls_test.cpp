// The real program against radsecproxy, RADIUS software written elsewhere:
// as a RADIUS over TLS server and as a UDP proxy, in front of the test
// FreeRADIUS or of a slow pyrad server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "child_process.h"
#include "freeradius_server.h"
#include "process_runner.h"
#include "pyrad_server.h"
#include "radsecproxy_server.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

using namespace std::chrono_literals;

class RadsecproxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeRadiusOptions options;
    options.tls = true;  // for its certificates; the proxy asks it over UDP
    freeradius_ = std::make_unique<FreeRadiusServer>(options);
    ASSERT_TRUE(freeradius_->running()) << freeradius_->failure();
  }
  RadsecProxyOptions in_front_of(std::uint16_t port, const std::string& secret) const {
    return {port, secret, freeradius_->tls_files()};
  }
  void configure_tls(const RadsecProxy& proxy, const std::string& extra = "") {
    const TlsFiles& files = freeradius_->tls_files();
    configure("radius_host 127.0.0.1:" + std::to_string(proxy.tls_port()) + "\n" +
              "radius_transport tls\n"
              "radius_tls_ca " + files.ca_file + "\n" +
              "radius_tls_cert " + files.client_certificate + "\n" +
              "radius_tls_key " + files.client_key + "\n" + extra);
  }
  void configure(const std::string& text) {
    dir_.write("vantorix.ini", text + "radius_user_file " + dir_.file("users.dat") + "\n" +
                                   "log true\nlog_path " + dir_.file("vantorix.log") + "\n");
  }
  ProcessResult run(const std::string& input) {
    ProcessResult result = run_process({vantorix_binary(), "-path", dir_.path()}, input, in_directory(dir_.path()));
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return result;
  }
  std::string log() const { return dir_.read("vantorix.log"); }

  std::unique_ptr<FreeRadiusServer> freeradius_;
  TempDir dir_;
};

TEST_F(RadsecproxyTest, ChecksGoOverTlsAndEndWithCloseNotify) {
  RadsecProxy proxy(in_front_of(freeradius_->port(), FreeRadiusServer::kSecret));
  ASSERT_TRUE(proxy.running()) << proxy.failure();
  configure_tls(proxy);
  ChildProcess program({vantorix_binary(), "-path", dir_.path()}, in_directory(dir_.path()));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.send("check alice secret\ncheck alice wrong\nlookup alice\n"));
  EXPECT_EQ(program.read_line(10s), "+OK alice config 0") << proxy.log();
  EXPECT_EQ(program.read_line(10s), "-ERR alice password wrong or not a valid user");
  EXPECT_EQ(program.read_line(10s), "+OK alice config 0");
  ASSERT_TRUE(proxy.restart()) << proxy.failure();
  ASSERT_TRUE(program.send("check alice secret\nexit\n"));
  EXPECT_EQ(program.read_line(10s), "+OK alice config 0") << "a new connection after the restart: " << log();
  EXPECT_EQ(program.finish().exit_status, 0);
  // Without close_notify the proxy logs "unexpected eof" before the loss.
  EXPECT_TRUE(wait_until([&] { return proxy.log().find("client tls-clients lost") != std::string::npos; }, 2000))
      << proxy.log();
  EXPECT_EQ(proxy.log().find("unexpected eof"), std::string::npos) << proxy.log();
}

TEST_F(RadsecproxyTest, UdpProxyAnswersChecksAndStatusServer) {
  RadsecProxy proxy(in_front_of(freeradius_->port(), FreeRadiusServer::kSecret));
  ASSERT_TRUE(proxy.running()) << proxy.failure();
  configure("radius_host 127.0.0.1:" + std::to_string(proxy.udp_port()) + "\n" +
            "radius_secret " + RadsecProxy::kUdpSecret + "\n");
  EXPECT_EQ(run("check alice secret\ncheck alice wrong\n").out,
            "+OK alice config 0\n-ERR alice password wrong or not a valid user\n")
      << proxy.log();
  const ProcessResult probe =
      run_process({vantorix_binary(), "-path", dir_.path(), "-test_config"}, "", in_directory(dir_.path()));
  EXPECT_EQ(probe.exit_status, 0);
  EXPECT_NE(probe.out.find(": alive (answered Status-Server"), std::string::npos) << probe.out;
}

TEST_F(RadsecproxyTest, SlowBackEndIsAskedOnceOverTls) {
  PyradServer back_end;
  ASSERT_TRUE(back_end.running()) << back_end.failure();
  RadsecProxy proxy(in_front_of(back_end.port(), PyradServer::kSecret));
  ASSERT_TRUE(proxy.running()) << proxy.failure();
  configure_tls(proxy, "radius_timeout 6\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run("check slow3 pw\n").out, "+OK slow3 config 0\n") << log() << proxy.log();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(back_end.requests_for("slow3"), 1) << "a second request would be a second prompt: "
                                               << back_end.output();
}

}  // namespace
}  // namespace vantorix::testing
