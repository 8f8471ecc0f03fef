#include "radius/radius_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "radius_backend_fixture.h"

namespace vantorix {
namespace {

using testing::FakeDatagram;
using testing::FakeRadiusServer;
using testing::RadiusRequest;

constexpr const char* kSecret = "probe-secret";

class RadiusProbeTest : public testing::RadiusBackendTest {
 protected:
  void SetUp() override {
    RadiusBackendTest::SetUp();
    radius_config("radius_secret", kSecret);
    radius_config("radius_timeout", "1");
    users_.settings.file_name = dir_.file("users.dat");
  }
  // -test_config's lines for the backend, into the output; its status.
  int radius_test_config(const char* user, const char* password) {
    const TestConfigReport report = vantorix::radius_test_config(log_, radius_, users_, env_, user, password);
    for (const std::string& line : report.lines) output_ += line + "\n";
    return report.status;
  }
};

// A server as FreeRADIUS is by default: Status-Server not enabled, every
// signed request with another secret dropped, unsigned ones answered.
FakeRadiusServer::Handler freeradius_like(bool status_server) {
  return [status_server](const RadiusRequest& request, const FakeRadiusServer& self) {
    if (request.code == 12 && !status_server) return std::vector<FakeDatagram>{};
    if (request.message_authenticator_valid == false) return std::vector<FakeDatagram>{};
    return self.answer(request, request.code == 12 || request.password == "right" ? 2 : 3);
  };
}

TEST_F(RadiusProbeTest, EachServerIsToldApartByWhatItAnswers) {
  FakeRadiusServer status(env_, kSecret, freeradius_like(true));
  FakeRadiusServer plain(env_, kSecret, freeradius_like(false));
  FakeRadiusServer other_secret(env_, "another-secret", freeradius_like(true));
  FakeRadiusServer silent(env_, kSecret,
                          [](const RadiusRequest&, const FakeRadiusServer&) { return std::vector<FakeDatagram>{}; });
  use(entry(status) + "," + entry(plain) + "," + entry(other_secret) + "," + entry(silent));

  const std::vector<ProbeResult> results = probe_servers(log_, radius_, env_, std::nullopt);
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[0].verdict, ProbeVerdict::alive);
  EXPECT_EQ(results[1].verdict, ProbeVerdict::answers_access_requests);
  EXPECT_EQ(results[2].verdict, ProbeVerdict::wrong_secret);
  EXPECT_EQ(results[3].verdict, ProbeVerdict::no_answer);
  EXPECT_EQ(probe_text(results[2]), "Server " + entry(other_secret) + ": wrong shared secret (check radius_secret)");
  EXPECT_TRUE(probe_text(results[3]).starts_with("Server " + entry(silent) + ": no answer within 2 s ("));
  EXPECT_EQ(status.status_requests().size(), 1u);
  EXPECT_EQ(status.status_requests()[0].message_authenticator_valid, true) << "Status-Server must be signed";
  ASSERT_EQ(plain.requests().size(), 1u) << "Status-Server first, then an Access-Request";
  EXPECT_FALSE(plain.requests()[0].message_authenticator_valid.has_value()) << "the second probe is unsigned";
}

TEST_F(RadiusProbeTest, ClosedPortIsToldFromSilence) {
  std::string closed;  // a port that was bound a moment ago and is not now
  {
    FakeRadiusServer gone(env_, kSecret, freeradius_like(true));
    closed = entry(gone);
  }
  use(closed);
  const std::vector<ProbeResult> results = probe_servers(log_, radius_, env_, ProbeUser{"alice", "right"});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].verdict, ProbeVerdict::port_closed) << "not reported as a wait of 0 s";
  EXPECT_EQ(probe_text(results[0]), "Server " + closed +
                                        ": nothing listens at that port (check radius_host and the port, and that "
                                        "the server runs)");
}

TEST_F(RadiusProbeTest, UserAndPasswordAreAskedForAndNeverRemembered) {
  FakeRadiusServer server(env_, kSecret, freeradius_like(true));
  use(entry(server));
  EXPECT_EQ(probe_servers(log_, radius_, env_, ProbeUser{"alice", "right"})[0].verdict, ProbeVerdict::accepted);
  EXPECT_EQ(probe_servers(log_, radius_, env_, ProbeUser{"alice", "wrong"})[0].verdict, ProbeVerdict::rejected);
  EXPECT_EQ(server.requests()[0].user_name, "alice");
  EXPECT_EQ(users_.table.size(), 0u);
  EXPECT_EQ(dir_.read("users.dat"), "");

  output_.clear();
  EXPECT_EQ(radius_test_config("alice", "right"), 0);
  EXPECT_NE(output_.find("radius_secret = (hidden)\n"), std::string::npos) << output_;
  EXPECT_EQ(output_.find(kSecret), std::string::npos) << "no secret on the output";
  EXPECT_NE(output_.find("Server " + entry(server) + ": accepted in "), std::string::npos) << output_;
  EXPECT_EQ(radius_test_config("alice", "wrong"), 0) << "a refusal is a valid answer";

  // Judged by a check's rules: unsigned replies where they are required.
  radius_config("radius_require_message_authenticator", "yes");
  use(entry(server));
  output_.clear();
  EXPECT_EQ(radius_test_config("alice", "right"), 1);
  EXPECT_NE(output_.find("without a Message-Authenticator, and radius_require_message_authenticator yes drops such "
                         "replies: every check would fail"),
            std::string::npos)
      << output_;
}

}  // namespace
}  // namespace vantorix
