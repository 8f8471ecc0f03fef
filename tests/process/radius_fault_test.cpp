// The real program against a fake RADIUS server that misbehaves on purpose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_radius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

constexpr const char* kSecret = "fault-secret";
constexpr std::uint8_t kVendorSpecific = 26;

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> bytes;
  for (const auto& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

class RadiusFaultTest : public ::testing::Test {
 protected:
  // Runs the program against `server` with one command per line; `extra`
  // adds configuration lines.
  ProcessResult run(const FakeRadiusServer& server, const std::string& input, const std::string& host = "127.0.0.1",
                    const std::string& extra = "") {
    EXPECT_TRUE(server.ready());
    dir_.write("vantorix.ini", "radius_host " + host + "\n"
                               "radius_port " + std::to_string(server.port()) + "\n"
                               "radius_secret " + kSecret + "\n"
                               "radius_user_file " + dir_.file("users.dat") + "\n"
                               "log true\n"
                               "log_path " + dir_.file("vantorix.log") + "\n" + extra);
    ProcessOptions options;
    options.working_directory = dir_.path();
    options.timeout = std::chrono::seconds(30);
    ProcessResult result = run_process({vantorix_binary(), "-path", dir_.path()}, input, options);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return result;
  }
  bool logged(const std::string& text) const { return dir_.read("vantorix.log").find(text) != std::string::npos; }

  TempDir dir_;
};

TEST_F(RadiusFaultTest, RequestCarriesTheWholeNameAndPasswordInOrder) {
  FakeRadiusServer server(kSecret);
  const std::string password(40, 'p');
  const std::string name = std::string(60, 'n') + "@example.org";
  EXPECT_EQ(run(server, "check " + name + " " + password + "\ncheck bob pw\n").out,
            "+OK " + name + " config 0\n+OK bob config 0\n");
  const std::vector<RadiusRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, 1);
  EXPECT_EQ(requests[0].user_name, name);
  EXPECT_EQ(requests[0].password, password);
  EXPECT_EQ(requests[0].hidden_password_size, 48u);
  EXPECT_EQ(requests[0].attribute_types, (std::vector<int>{80, 1, 2, 5, 4}));
  EXPECT_EQ(requests[0].message_authenticator_valid, true);
  EXPECT_EQ(requests[0].nas_port, server.port());
  EXPECT_EQ(requests[1].password, "pw");
  EXPECT_EQ(requests[1].hidden_password_size, 16u);
  EXPECT_NE(requests[0].authenticator, requests[1].authenticator);
}

TEST_F(RadiusFaultTest, SilentServerGetsTwoCopiesAndIsGivenUpAfterTenSeconds) {
  FakeRadiusServer server(kSecret, [](const RadiusRequest&, const FakeRadiusServer&) {
    return std::vector<FakeDatagram>{};
  });
  EXPECT_EQ(run(server, "check alice pw\n").out, "-ERR alice password wrong or not a valid user\n");
  const auto ended = std::chrono::steady_clock::now();
  const std::vector<RadiusRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 3u) << "sent at 0, 2 and 6 seconds";
  // Counted from the first request: how long the program takes to start
  // (under Wine, on a busy machine, a second or more) is not measured here.
  const double took = std::chrono::duration<double>(ended - requests[0].received_at).count();
  EXPECT_NEAR(took, 10.0, 0.8);
  const auto offset = [&](std::size_t i) {
    return std::chrono::duration<double>(requests[i].received_at - requests[0].received_at).count();
  };
  EXPECT_NEAR(offset(1), 2.0, 0.3);
  EXPECT_NEAR(offset(2), 6.0, 0.3);
  EXPECT_EQ(requests[1].bytes, requests[0].bytes);
  EXPECT_EQ(requests[2].bytes, requests[0].bytes);
  EXPECT_TRUE(logged("ERROR: radius: no valid reply from any server: 127.0.0.1:" + std::to_string(server.port()) +
                     " (10.0 s); a wrong radius_secret looks the same"));
}

TEST_F(RadiusFaultTest, RepliesToOtherRequestsAreSkipped) {
  // A late reply to an earlier request (another identifier, and an
  // authenticator made for that request) comes before the real answer.
  FakeRadiusServer server(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
    ReplySpec stale;
    stale.identifier = static_cast<std::uint8_t>(request.identifier - 1);
    stale.wrong_authenticator = true;
    ReplySpec other;
    other.identifier = static_cast<std::uint8_t>(request.identifier + 1);
    return std::vector<FakeDatagram>{{fake.make_reply(request, stale)},
                                     {fake.make_reply(request, other)},
                                     fake.answer(request, 2).front()};
  });
  EXPECT_EQ(run(server, "check alice pw\n").out, "+OK alice config 0\n");
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(RadiusFaultTest, OnlyTheServerItselfMayAnswer) {
  // An acceptance from another port never reaches the program's socket; the
  // server's own refusal decides, and the next request still goes to the server.
  FakeRadiusServer server(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
    FakeDatagram forged = fake.answer(request, 2).front();
    forged.from_other_port = true;
    return std::vector<FakeDatagram>{forged, fake.answer(request, 3).front()};
  });
  EXPECT_EQ(run(server, "check alice pw\ncheck bob pw\n").out,
            "-ERR alice password wrong or not a valid user\n-ERR bob password wrong or not a valid user\n");
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(RadiusFaultTest, ReplyCodesDecide) {
  FakeRadiusServer server(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
    if (request.code == kStatusServerCode) return fake.answer(request, 2);
    const std::uint8_t code = static_cast<std::uint8_t>(std::stoi(request.password));
    return fake.answer(request, code);
  });
  // Only an Access-Accept accepts; an Accounting-Response or any other code
  // is no answer, and the wait for one runs out.
  EXPECT_EQ(run(server, "check a 2\ncheck b 5\ncheck c 3\ncheck d 11\ncheck e 4\n", "127.0.0.1",
                "radius_timeout 1\nradius_retries 0\n")
                .out,
            "+OK a config 0\n"
            "-ERR b password wrong or not a valid user\n"
            "-ERR c password wrong or not a valid user\n"
            "-ERR d password wrong or not a valid user\n"
            "-ERR e password wrong or not a valid user\n");
  EXPECT_EQ(dir_.read("users.dat").find("b "), std::string::npos);
}

TEST_F(RadiusFaultTest, WrongAuthenticatorIsTheDeadDigestLine) {
  FakeRadiusServer server(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
    ReplySpec spoilt;
    spoilt.wrong_authenticator = true;
    return std::vector<FakeDatagram>{{fake.make_reply(request, spoilt)}};
  });
  EXPECT_EQ(run(server, "check alice pw\nexit\n").out, "-DEAD Received invalid reply digest from server\n+OK\n");
}

TEST_F(RadiusFaultTest, LengthFieldMustMatchTheDatagram) {
  FakeRadiusServer server(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
    if (request.user_name != "short" && request.user_name != "long") return fake.answer(request, 2);
    ReplySpec spec;
    spec.attributes = radius_attribute(kVendorSpecific, "ab");
    spec.length_field = request.user_name == "short" ? 22 : 30;
    return std::vector<FakeDatagram>{{fake.make_reply(request, spec)}};
  });
  // A reply with a bad Length is dropped; the wait runs out and the next check works.
  EXPECT_EQ(run(server, "check short pw\ncheck alice pw\ncheck long pw\ncheck alice pw\n", "127.0.0.1",
                "radius_timeout 1\nradius_dead_time 0\n")
                .out,
            "-ERR short password wrong or not a valid user\n+OK alice config 0\n"
            "-ERR long password wrong or not a valid user\n+OK alice config 0\n");
  EXPECT_TRUE(logged("Received invalid reply length from server (want 22/ got 24)"));
  EXPECT_TRUE(logged("Received invalid reply length from server (want 30/ got 24)"));
  EXPECT_EQ(server.requests().size(), 4u);
}

TEST_F(RadiusFaultTest, AttributesAreReadSafely) {
  FakeRadiusServer server(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
    std::vector<std::uint8_t> attributes;
    if (request.user_name == "several") {
      attributes = join({radius_attribute(kVendorSpecific, "A"), radius_attribute(18, "Hello"),
                         radius_attribute(kVendorSpecific, "B"), radius_attribute(kVendorSpecific, std::string("\0C", 2)),
                         radius_attribute(kVendorSpecific, "D")});
    } else if (request.user_name == "odd") {
      attributes = join({radius_attribute(17, "x"), radius_attribute(3, std::string(130, 'c')),
                         radius_attribute(21, "date"), radius_attribute(kVendorSpecific, std::string(128, 'v')),
                         radius_attribute(kVendorSpecific, "kept")});
    } else if (request.user_name == "overrun") {
      attributes = join({radius_attribute(kVendorSpecific, "first"),
                         radius_attribute_with_length(kVendorSpecific, 60, "runs past the end")});
    } else if (request.user_name == "zero") {
      attributes = join({radius_attribute(kVendorSpecific, "before"), radius_attribute_with_length(kVendorSpecific, 0, ""),
                         radius_attribute(kVendorSpecific, "after")});
    }
    return fake.answer(request, 2, attributes);
  });
  ProcessResult result = run(server, "check several pw\ncheck odd pw\ncheck overrun pw\ncheck zero pw\n");
  EXPECT_EQ(result.out,
            "+OK several config 0 D  B A\n"
            "+OK odd config 0 kept\n"
            "+OK overrun config 0 first\n"
            "+OK zero config 0 before\n");
  EXPECT_TRUE(logged("radius: Received unknown attribute 17"));
  EXPECT_TRUE(logged("radius: attribute 3 too long, 130 >= 128"));
  EXPECT_TRUE(logged("radius: attribute 26 too long, 128 >= 128"));
  EXPECT_TRUE(logged("radius:     Expiration (Unknown Type 3)"));
}

TEST_F(RadiusFaultTest, UnresolvableServerEndsTheProgramAtStart) {
  FakeRadiusServer server(kSecret);
  ProcessResult result = run(server, "check alice pw\n", "10.1.2.256");
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(logged("ERROR: -DEAD: Couldn't find host {10.1.2.256}"));
  EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace vantorix::testing
