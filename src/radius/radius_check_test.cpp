#include "radius/radius_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/core_settings.h"
#include "fake_radius_server.h"
#include "logging/log.h"
#include "platform/console.h"
#include "process_state.h"
#include "radius/radius_packet.h"
#include "radius/radius_settings.h"
#include "temp_dir.h"
#include "userstore/user_store.h"

namespace vantorix {
namespace {

using testing::FakeDatagram;
using testing::FakeRadiusServer;
using testing::RadiusRequest;
using testing::radius_attribute;

CommandWords words_of(const char* command, const char* user, const char* password = nullptr,
                      const char* address = nullptr) {
  auto text = [](const char* t) { return t ? std::optional<std::string>(t) : std::nullopt; };
  return {text(command), text(user), text(password), text(address)};
}

TEST(AttachDefaultDomain, AddsTheDomainToNamesWithoutOne) {
  struct Case {
    std::optional<std::string> domain;
    const char* name;
    const char* sent;
  };
  const Case cases[] = {
      {std::nullopt, "alice", "alice"},
      {"example.org", "alice", "alice@example.org"},
      {"example.org", "alice@other.net", "alice@other.net"},
      {"example.org", "@", "@"},
      {"", "alice", "alice@"},
      {"example.org", "", "@example.org"},
  };
  for (const Case& c : cases) {
    CommandWords words = words_of("check", c.name, "pw");
    EXPECT_TRUE(attach_default_domain(words, c.domain));
    EXPECT_EQ(words[1], c.sent);
  }
}

TEST(AttachDefaultDomain, RefusesNamesThatWouldNotFit) {
  const std::optional<std::string> domain = "example.org";  // "@example.org" is 12 characters
  CommandWords fits = words_of("check", std::string(kDomainWorkArea - 13, 'n').c_str(), "pw");
  EXPECT_TRUE(attach_default_domain(fits, domain));
  EXPECT_EQ(fits[1]->size(), static_cast<std::size_t>(kDomainWorkArea - 1));

  const std::string too_long(kDomainWorkArea - 12, 'n');
  CommandWords refused = words_of("check", too_long.c_str(), "pw");
  EXPECT_FALSE(attach_default_domain(refused, domain));
  EXPECT_EQ(refused[1], too_long);
}

// The check and lookup against a scriptable server on 127.0.0.1.
class RadiusCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_process_state();
    console_capture(&output_);
    user_store().settings.file_name = dir_.file("users.dat");
  }
  void TearDown() override { testing::reset_process_state(); }

  static std::optional<std::string> remembered(const std::string& name) {
    return user_table_lookup(user_store().table, name);
  }

  void use(const FakeRadiusServer& server) {
    ASSERT_TRUE(server.ready());
    radius_config("radius_host", "127.0.0.1");
    radius_config("radius_port", std::to_string(server.port()));
    radius_config("radius_secret", server.secret());
  }

  std::string output_;
  testing::TempDir dir_;
};

TEST_F(RadiusCheckTest, AcceptedUserIsAnsweredAndRemembered) {
  FakeRadiusServer server("s3cret", [](const RadiusRequest& request, const FakeRadiusServer& self) {
    std::vector<std::uint8_t> attributes = radius_attribute(26, "first");
    const auto second = radius_attribute(26, "second");
    attributes.insert(attributes.end(), second.begin(), second.end());
    return self.answer(request, kAccessAccept, attributes);
  });
  use(server);
  core_settings().default_domain = "example.org";
  const std::string password(40, 'p');
  CommandWords words = words_of("check", "alice", password.c_str(), "10.0.0.9");

  RecordResult result = radius_check(words);
  ASSERT_EQ(result.kind, RecordKind::accepted);
  EXPECT_EQ(result.record.user_name, "alice@example.org");
  EXPECT_EQ(result.record.password, password);
  EXPECT_EQ(result.record.extra, "second first");
  EXPECT_FALSE(result.record.directory);
  EXPECT_EQ(result.record.number, 0);

  const std::vector<RadiusRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].user_name, "alice@example.org");
  EXPECT_EQ(requests[0].password, password);
  EXPECT_EQ(requests[0].attribute_types, (std::vector<int>{1, 2, 5, 4}));
  EXPECT_EQ(requests[0].nas_port, server.port());

  EXPECT_EQ(remembered("alice@example.org"), password);
  EXPECT_EQ(dir_.read("users.dat").rfind("alice@example.org ", 0), 0u) << "appended to the user file";
  EXPECT_TRUE(output_.empty()) << "the dispatcher writes the answer";
}

TEST_F(RadiusCheckTest, RefusalsAndUnusableRequestsGiveNone) {
  FakeRadiusServer server("s3cret", [](const RadiusRequest& request, const FakeRadiusServer& self) {
    return self.answer(request, request.password == "challenge" ? kAccessChallenge : kAccessReject);
  });
  use(server);
  for (const char* password : {"wrong", "challenge"}) {
    CommandWords words = words_of("check", "bob", password);
    EXPECT_EQ(radius_check(words).kind, RecordKind::none) << password;
  }
  const std::string too_long(kMaxPassword + 1, 'p');
  CommandWords words = words_of("check", "bob", too_long.c_str());
  EXPECT_EQ(radius_check(words).kind, RecordKind::none);
  EXPECT_EQ(server.requests().size(), 2u) << "an over-long password is never sent";
  EXPECT_EQ(remembered("bob"), std::nullopt) << "refused users are not remembered";
  EXPECT_TRUE(output_.empty());
}

TEST_F(RadiusCheckTest, ReplyToAnotherRequestUsesUpOneAttempt) {
  FakeRadiusServer server("s3cret", [](const RadiusRequest& request, const FakeRadiusServer& self) {
    testing::ReplySpec stray;
    stray.identifier = static_cast<std::uint8_t>(request.identifier + 1);
    return std::vector<FakeDatagram>{{self.make_reply(request, stray)}, {self.make_reply(request, {})}};
  });
  use(server);
  log_state().debug_mode = true;
  CommandWords words = words_of("check", "carol", "pw");
  RecordResult result = radius_check(words);
  EXPECT_EQ(result.kind, RecordKind::accepted);
  EXPECT_EQ(server.requests().size(), 1u) << "the request is not sent again";
  EXPECT_NE(output_.find("rad_decode response: 3"), std::string::npos);
  EXPECT_NE(output_.find("rad_decode response: 1"), std::string::npos);
  EXPECT_EQ(output_.find("-DEAD"), std::string::npos);
}

TEST_F(RadiusCheckTest, WrongSecretFailsWithDeadLine) {
  FakeRadiusServer server("the server's secret");
  use(server);
  radius_config("radius_secret", "not the server's secret");
  CommandWords words = words_of("check", "dave", "pw");
  EXPECT_EQ(radius_check(words).kind, RecordKind::failed);
  EXPECT_EQ(output_, "-DEAD Received invalid reply digest from server\n");
  EXPECT_EQ(remembered("dave"), std::nullopt);
}

TEST_F(RadiusCheckTest, LookupChecksTheRememberedPassword) {
  FakeRadiusServer server("s3cret", [](const RadiusRequest& request, const FakeRadiusServer& self) {
    return self.answer(request, request.password == "old one" ? kAccessAccept : kAccessReject);
  });
  use(server);

  CommandWords unknown = words_of("lookup", "erin");
  EXPECT_EQ(radius_lookup(unknown).kind, RecordKind::none);
  EXPECT_TRUE(server.requests().empty()) << "an unknown user is not sent";
  EXPECT_NE(radius_data().connection.sock, kNoSocket) << "the socket is opened first all the same";

  CommandWords check = words_of("check", "erin", "old one");
  ASSERT_EQ(radius_check(check).kind, RecordKind::accepted);
  CommandWords lookup = words_of("lookup", "erin");
  RecordResult found = radius_lookup(lookup);
  ASSERT_EQ(found.kind, RecordKind::accepted);
  EXPECT_EQ(found.record.password, "old one");
  EXPECT_EQ(lookup[2], "old one");
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].password, "old one");
}

TEST_F(RadiusCheckTest, UnopenableSocketFails) {
  radius_config("radius_host", "10.1.2.256");
  CommandWords words = words_of("check", "frank", "pw");
  EXPECT_EQ(radius_check(words).kind, RecordKind::failed);
  CommandWords lookup = words_of("lookup", "frank");
  EXPECT_EQ(radius_lookup(lookup).kind, RecordKind::failed);
  EXPECT_EQ(output_.rfind("-DEAD: Couldn't find host {10.1.2.256}", 0), 0u);
}

}  // namespace
}  // namespace vantorix
