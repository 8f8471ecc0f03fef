#include "radius/radius_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/system.h"
#include "radius/radius_packet.h"
#include "radius/radius_settings.h"
#include "radius/radius_transport.h"
#include "radius_backend_fixture.h"
#include "temp_dir.h"
#include "userstore/user_store.h"

namespace vantorix {
namespace {

using testing::FakeDatagram;
using testing::FakeRadiusServer;
using testing::RadiusRequest;
using testing::radius_attribute;
using testing::ReplyMessageAuthenticator;
using testing::ReplySpec;

CommandWords words_of(const char* command, const char* user, const char* password = nullptr,
                      const char* address = nullptr) {
  auto text = [](const char* t) { return t ? std::optional<std::string>(t) : std::nullopt; };
  return {text(command), text(user), text(password), text(address)};
}

TEST(AttachDefaultDomain, AddsTheDomainToNamesWithoutOne) {
  Console console_;
  Log log_(console_);
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
    EXPECT_TRUE(attach_default_domain(log_, words, c.domain));
    EXPECT_EQ(words[1], c.sent);
  }
}

TEST(AttachDefaultDomain, RefusesNamesThatWouldNotFit) {
  Console console_;
  Log log_(console_);
  const std::optional<std::string> domain = "example.org";  // "@example.org" is 12 characters
  CommandWords fits = words_of("check", std::string(kDomainWorkArea - 13, 'n').c_str(), "pw");
  EXPECT_TRUE(attach_default_domain(log_, fits, domain));
  EXPECT_EQ(fits[1]->size(), static_cast<std::size_t>(kDomainWorkArea - 1));

  const std::string too_long(kDomainWorkArea - 12, 'n');
  CommandWords refused = words_of("check", too_long.c_str(), "pw");
  EXPECT_FALSE(attach_default_domain(log_, refused, domain));
  EXPECT_EQ(refused[1], too_long);
}

// The check and lookup against scriptable servers on loopback, on virtual time.
class RadiusCheckTest : public testing::RadiusBackendTest {
 protected:
  void SetUp() override {
    RadiusBackendTest::SetUp();
    users_.settings.file_name = dir_.file("users.dat");
    log_.state().log_mode = true;
    log_.state().log_path = dir_.file("test.log");
    radius_config("radius_secret", kSecret);
  }

  static constexpr const char* kSecret = "s3cret";

  std::optional<std::string> remembered(const std::string& name) { return user_table_lookup(users_.table, name); }
  RecordResult radius_check(CommandWords& words) { return backend_.ops().check(words); }
  RecordResult radius_lookup(CommandWords& words) { return backend_.ops().lookup(words); }
  // A check's outcome; a failure's line goes to the output, as the dispatcher writes it.
  RecordKind check(const char* user, const char* password, const char* address = nullptr) {
    CommandWords words = words_of("check", user, password, address);
    const RecordResult result = radius_check(words);
    if (result.kind == RecordKind::failed) output_ += result.failure + "\n";
    return result.kind;
  }
  std::string log() const { return dir_.read_text("test.log"); }
  // Seconds of virtual time since `start` (a reading of the clock).
  double seconds_since(std::int64_t start) { return static_cast<double>(env_.now_ms() - start) / 1000; }
};

FakeRadiusServer::Handler silent() {
  return [](const RadiusRequest&, const FakeRadiusServer&) { return std::vector<FakeDatagram>{}; };
}

TEST_F(RadiusCheckTest, AcceptedUserIsAnsweredAndRemembered) {
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    std::vector<std::uint8_t> attributes = radius_attribute(26, "first");
    const auto second = radius_attribute(26, "second");
    attributes.insert(attributes.end(), second.begin(), second.end());
    return self.answer(request, kAccessAccept, attributes);
  });
  use(entry(server));
  core_.default_domain = "example.org";
  const std::string password(40, 'p');
  CommandWords words = words_of("check", "alice", password.c_str(), "10.0.0.9");

  RecordResult result = radius_check(words);
  ASSERT_EQ(result.kind, RecordKind::accepted);
  EXPECT_EQ(result.record.user_name, "alice@example.org");
  EXPECT_EQ(result.record.password, password);
  EXPECT_EQ(result.record.extra, "second first");
  EXPECT_FALSE(result.record.directory);

  const std::vector<RadiusRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].user_name, "alice@example.org");
  EXPECT_EQ(requests[0].password, password);
  EXPECT_EQ(requests[0].attribute_types, (std::vector<int>{80, 1, 2, 5, 4}));
  EXPECT_EQ(requests[0].message_authenticator_valid, true);
  EXPECT_EQ(requests[0].nas_port, server.port());

  EXPECT_EQ(remembered("alice@example.org"), password);
  EXPECT_EQ(dir_.read("users.dat").rfind("alice@example.org ", 0), 0u) << "appended to the user file";
  EXPECT_TRUE(output_.empty()) << "the dispatcher writes the answer";
}

TEST_F(RadiusCheckTest, RefusalsAndUnusableRequestsGiveNone) {
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    if (request.password != "challenge") return self.answer(request, kAccessReject);
    std::vector<std::uint8_t> attributes = radius_attribute(24, "state-1");
    const auto prompt = radius_attribute(18, "Enter the code\nfrom your phone");
    attributes.insert(attributes.end(), prompt.begin(), prompt.end());
    return self.answer(request, kAccessChallenge, attributes);
  });
  use(entry(server));
  EXPECT_EQ(check("bob", "wrong"), RecordKind::none);
  EXPECT_EQ(check("bob", "challenge"), RecordKind::none);
  EXPECT_NE(log().find(entry(server) + " answered with an Access-Challenge (a second factor is configured for this "
                                       "user), which a mail login cannot answer: refused; Reply-Message {Enter the "
                                       "code from your phone}\n"),
            std::string::npos)
      << log();
  EXPECT_EQ(check("bob", std::string(kMaxPassword + 1, 'p').c_str()), RecordKind::none);
  EXPECT_EQ(server.requests().size(), 2u) << "an over-long password is never sent";
  EXPECT_EQ(remembered("bob"), std::nullopt) << "refused users are not remembered";
  EXPECT_EQ(radius_.connection.servers[0].counts.rejects, 2);
  EXPECT_TRUE(output_.empty());
}

TEST_F(RadiusCheckTest, LostRequestIsSentAgainIdenticallyAndTheCopyAnswered) {
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    if (self.requests().size() == 1) return std::vector<FakeDatagram>{};  // the first copy is lost
    return self.answer(request, kAccessAccept);
  });
  use(entry(server));
  const auto start = env_.now_ms();
  EXPECT_EQ(check("carol", "pw"), RecordKind::accepted);
  EXPECT_NEAR(seconds_since(start), 2.0, 0.5) << "the copy goes 2 s after the first send";
  const std::vector<RadiusRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].bytes, requests[1].bytes) << "the same identifier, authenticator and hidden password";
}

TEST_F(RadiusCheckTest, StrayDatagramsNeitherAnswerNorShortenTheWait) {
  radius_config("radius_timeout", "1");
  radius_config("radius_require_message_authenticator", "yes");
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    ReplySpec other_id;
    other_id.identifier = static_cast<std::uint8_t>(request.identifier + 1);
    other_id.message_authenticator = ReplyMessageAuthenticator::valid;
    ReplySpec bad_length;
    bad_length.length_field = 19;
    ReplySpec wrong_ma;
    wrong_ma.message_authenticator = ReplyMessageAuthenticator::wrong;
    ReplySpec doubled;
    doubled.message_authenticator = ReplyMessageAuthenticator::doubled;
    ReplySpec unsigned_accept;  // required here, and missing
    ReplySpec accounting;       // rightly signed, but no answer to an Access-Request
    accounting.code = kAccountingResponse;
    accounting.message_authenticator = ReplyMessageAuthenticator::valid;
    return std::vector<FakeDatagram>{{self.make_reply(request, other_id)}, {self.make_reply(request, bad_length)},
                                     {{1, 2, 3}},                          {self.make_reply(request, wrong_ma)},
                                     {self.make_reply(request, doubled)},  {self.make_reply(request, unsigned_accept)},
                                     {self.make_reply(request, accounting)},
                                     {self.make_reply(request, {}), true}};  // from another port
  });
  use(entry(server));
  const auto start = env_.now_ms();
  EXPECT_EQ(check("dave", "pw"), RecordKind::none);
  EXPECT_GE(seconds_since(start), 0.95);
  EXPECT_LT(seconds_since(start), 1.5);
  const std::string text = log();
  EXPECT_NE(text.find("identifier"), std::string::npos);
  EXPECT_NE(text.find("Received invalid reply length from server (want 19/ got 20)"), std::string::npos);
  EXPECT_NE(text.find("Received invalid reply length from server (want 20/ got 3)"), std::string::npos);
  EXPECT_NE(text.find("its Message-Authenticator is wrong or not the only one"), std::string::npos);
  EXPECT_NE(text.find("it carries no Message-Authenticator"), std::string::npos);
  EXPECT_NE(text.find("code 5 does not answer an Access-Request"), std::string::npos);
  EXPECT_EQ(output_.find("-DEAD"), std::string::npos);
  EXPECT_EQ(remembered("dave"), std::nullopt);
}

TEST_F(RadiusCheckTest, RepeatedAnswerIsNotTakenForTheNextRequest) {
  // The same identifier and authenticator for both requests, as chance may
  // give: only the memory of the answer taken tells its copy from an answer.
  env_.random_source = [](std::span<std::uint8_t> out) {
    std::fill(out.begin(), out.end(), std::uint8_t{7});
    return true;
  };
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    if (request.password == "pw")
      return std::vector<FakeDatagram>{self.answer(request, kAccessAccept)[0], self.answer(request, kAccessAccept)[0]};
    return self.answer(request, kAccessReject);
  });
  use(entry(server));
  EXPECT_EQ(check("twice", "pw"), RecordKind::accepted);
  EXPECT_EQ(check("twice", "wrong"), RecordKind::none) << "the copy of the first answer must not accept";
  EXPECT_NE(log().find("a repeat of an answer already taken"), std::string::npos);
  EXPECT_EQ(output_.find("-DEAD"), std::string::npos);
}

TEST_F(RadiusCheckTest, ForgedReplyDoesNotBeatTheGenuineOne) {
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    ReplySpec forged;
    forged.wrong_authenticator = true;
    return std::vector<FakeDatagram>{{self.make_reply(request, forged)}, self.answer(request, kAccessAccept).front()};
  });
  use(entry(server));
  EXPECT_EQ(check("erin", "pw"), RecordKind::accepted);
  EXPECT_EQ(output_.find("-DEAD"), std::string::npos);
}

TEST_F(RadiusCheckTest, WrongSecretIsTheDeadLineWithinTwoSeconds) {
  FakeRadiusServer server(env_, "the server's secret");
  use(entry(server));
  const auto start = env_.now_ms();
  EXPECT_EQ(check("frank", "pw"), RecordKind::failed);
  EXPECT_LT(seconds_since(start), 2.5);
  EXPECT_EQ(output_, "-DEAD Received invalid reply digest from server\n");
  EXPECT_EQ(remembered("frank"), std::nullopt);
}

TEST_F(RadiusCheckTest, MessageAuthenticatorModes) {
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    ReplySpec spec;
    if (request.user_name == "signed") spec.message_authenticator = ReplyMessageAuthenticator::valid;
    if (request.user_name == "first") spec.message_authenticator = ReplyMessageAuthenticator::valid_first;
    return std::vector<FakeDatagram>{{self.make_reply(request, spec)}};
  });
  // A dropped reply leaves the check without an answer after a short wait.
  radius_config("radius_timeout", "1");
  radius_config("radius_retries", "0");

  radius_config("radius_require_message_authenticator", "no");
  use(entry(server));
  EXPECT_EQ(check("plain", "pw"), RecordKind::accepted);
  EXPECT_EQ(check("signed", "pw"), RecordKind::accepted);

  radius_config("radius_require_message_authenticator", "yes");
  use(entry(server));
  EXPECT_EQ(check("plain", "pw"), RecordKind::none);
  EXPECT_EQ(check("signed", "pw"), RecordKind::accepted);
  EXPECT_EQ(check("first", "pw"), RecordKind::accepted) << "its position is never checked";

  // auto: unsigned replies pass until the server has sent a signed one.
  radius_config("radius_require_message_authenticator", "auto");
  use(entry(server));
  EXPECT_EQ(check("plain", "pw"), RecordKind::accepted);
  EXPECT_EQ(log().find("requires one of it"), std::string::npos);
  EXPECT_EQ(check("first", "pw"), RecordKind::accepted);
  EXPECT_EQ(check("plain", "pw"), RecordKind::none);
  EXPECT_EQ(check("signed", "pw"), RecordKind::accepted);
  const std::string text = log();
  const std::string switched = entry(server) + " sent a valid Message-Authenticator, so "
                                               "radius_require_message_authenticator auto now requires one of it";
  EXPECT_NE(text.find(switched), std::string::npos) << text;
  EXPECT_EQ(text.find(switched), text.rfind(switched)) << "said once per server";
}

TEST_F(RadiusCheckTest, SilentServerIsGivenUpAndTheNextOneAsked) {
  radius_config("radius_timeout", "1");
  FakeRadiusServer down(env_, kSecret, silent());
  FakeRadiusServer up(env_, kSecret);
  use(entry(down) + ", " + entry(up));
  auto start = env_.now_ms();
  EXPECT_EQ(check("gina", "pw"), RecordKind::accepted);
  EXPECT_NEAR(seconds_since(start), 1.0, 0.4);
  ASSERT_EQ(down.requests().size(), 1u);
  ASSERT_EQ(up.requests().size(), 1u);
  EXPECT_NE(down.requests()[0].authenticator, up.requests()[0].authenticator) << "a request built afresh";

  // The silent server is dead now: the next check goes straight to the other.
  start = env_.now_ms();
  EXPECT_EQ(check("gina", "pw"), RecordKind::accepted);
  EXPECT_LT(seconds_since(start), 0.5);
  EXPECT_EQ(down.requests().size(), 1u);

  // When its dead time is over, it is asked first again.
  radius_.connection.servers[0].dead_until_ms = 0;
  EXPECT_EQ(check("gina", "pw"), RecordKind::accepted);
  EXPECT_EQ(down.requests().size(), 2u);
}

// Servers that answer Status-Server are watched: one that answers neither
// the request nor a Status-Server is given up within about 4 s, revived by a
// probe once its dead time is over, and asked first again; one that answers
// only Status-Server is alive (a slow back end) and waited for in full.
TEST_F(RadiusCheckTest, StatusServerWatchdogAndRevival) {
  radius_config("radius_timeout", "5");
  std::atomic<int> mode{0};  // 0: answers all; 1: silent; 2: only Status-Server
  FakeRadiusServer watched(env_, kSecret, [&mode](const RadiusRequest& request, const FakeRadiusServer& self) {
    if (mode == 1 || (mode == 2 && request.code != kStatusServer)) return std::vector<FakeDatagram>{};
    return self.answer(request, kAccessAccept);
  });
  FakeRadiusServer other(env_, kSecret);
  use(entry(watched) + "," + entry(other));
  EXPECT_EQ(check("ian", "pw"), RecordKind::accepted);
  EXPECT_EQ(watched.status_requests().size(), 1u) << "sent beside the first request";
  EXPECT_EQ(radius_.connection.servers[0].status_server, StatusServerSupport::answers);

  mode = 1;
  auto start = env_.now_ms();
  EXPECT_EQ(check("ian", "pw"), RecordKind::accepted);
  EXPECT_NEAR(seconds_since(start), 4.0, 0.5) << "Status-Server at 2 s, given up 2 s later";
  EXPECT_NE(log().find("ERROR: radius: " + entry(watched) + " answered neither the request nor a Status-Server "
                       "within 4.0 s; marked dead for 30 s\n"),
            std::string::npos)
      << log();

  // Past its dead time it stays dead until a probe, sent during another
  // server's wait, is answered; then it is asked first again.
  env_.advance(31000);
  const std::size_t asked = watched.requests().size();
  const std::size_t probed = watched.status_requests().size();
  EXPECT_EQ(check("ian", "pw"), RecordKind::accepted);
  EXPECT_EQ(watched.requests().size(), asked) << "no user's request to a dead server";
  EXPECT_EQ(watched.status_requests().size(), probed + 1) << "probed once its dead time had passed";
  mode = 0;
  EXPECT_EQ(check("ian", "pw"), RecordKind::accepted);
  EXPECT_EQ(watched.requests().size(), asked) << "the probe of the last check went unanswered";
  EXPECT_EQ(watched.status_requests().size(), probed + 1) << "one probe per third of the dead time";
  env_.advance(31000);
  EXPECT_EQ(check("ian", "pw"), RecordKind::accepted);  // probed again, and answers
  EXPECT_EQ(check("ian", "pw"), RecordKind::accepted);
  EXPECT_EQ(watched.requests().size(), asked + 1) << "live again, and first";
  EXPECT_NE(log().find("radius: " + entry(watched) + " answers again: marked live"), std::string::npos);

  mode = 2;
  start = env_.now_ms();
  EXPECT_EQ(check("ian", "pw"), RecordKind::accepted);
  EXPECT_NEAR(seconds_since(start), 5.0, 0.5) << "alive by Status-Server: the whole wait, then the next";
}

TEST_F(RadiusCheckTest, LateAnswerOfAServerGivenUpIsTaken) {
  std::atomic<bool> slow{false};
  // Once slow it answers requests after 4.5 s and Status-Server never: the
  // watchdog gives it up at 4 s, and its answer comes while the next one,
  // silent, is waited for.
  FakeRadiusServer watched(env_, kSecret, [&slow](const RadiusRequest& request, const FakeRadiusServer& self) {
    if (!slow) return self.answer(request, kAccessAccept);
    if (request.code == kStatusServer) return std::vector<FakeDatagram>{};
    FakeDatagram late = self.answer(request, kAccessAccept)[0];
    late.delay = std::chrono::milliseconds(4500);
    return std::vector<FakeDatagram>{late};
  });
  FakeRadiusServer other(env_, kSecret, silent());
  use(entry(watched) + "," + entry(other));
  EXPECT_EQ(check("jo", "pw"), RecordKind::accepted);
  slow = true;
  const auto start = env_.now_ms();
  EXPECT_EQ(check("jo", "pw"), RecordKind::accepted);
  EXPECT_NEAR(seconds_since(start), 4.5, 0.4);
  EXPECT_EQ(other.requests().size(), 1u) << "the next server was asked meanwhile";
  EXPECT_NE(log().find("radius: " + entry(watched) + " answers again: marked live"), std::string::npos) << log();
}

TEST_F(RadiusCheckTest, CompleteOutageCostsTwoSecondsPerDeadServer) {
  radius_config("radius_timeout", "1");
  radius_config("radius_retries", "0");
  FakeRadiusServer first(env_, kSecret, silent());
  FakeRadiusServer second(env_, kSecret, silent());
  use(entry(first) + "," + entry(second));
  EXPECT_EQ(check("hal", "pw"), RecordKind::none);  // both die, 1 s each
  const std::string text = log();
  EXPECT_NE(text.find("ERROR: radius: no valid reply from any server: " + entry(first) + " (1.0 s), " +
                      entry(second) + " (1.0 s); a wrong radius_secret looks the same"),
            std::string::npos)
      << text;

  const auto start = env_.now_ms();
  EXPECT_EQ(check("hal", "pw"), RecordKind::none);
  EXPECT_NEAR(seconds_since(start), 4.0, 0.5) << "one send and 2 s for each dead server";
  EXPECT_EQ(first.requests().size(), 2u);
  EXPECT_EQ(second.requests().size(), 2u);
}

TEST_F(RadiusCheckTest, ClosedPortIsGivenUpAtOnce) {
  std::string closed;
  {
    FakeRadiusServer gone(env_, kSecret);
    closed = entry(gone);
  }
  FakeRadiusServer up(env_, kSecret);
  use(closed + "," + entry(up));
  const auto start = env_.now_ms();
  EXPECT_EQ(check("ivy", "pw"), RecordKind::accepted);
  EXPECT_LT(seconds_since(start), 0.5);
  // One line that names the server, whether logging is on or not.
  EXPECT_NE(log().find("ERROR: radius: " + closed + " refused the request: nothing listens at that port (check "
                       "radius_host and the port, and that the server runs); marked dead for 30 s\n"),
            std::string::npos)
      << log();
  EXPECT_EQ(log().find("only got"), std::string::npos);
}

TEST_F(RadiusCheckTest, Ipv6ServerGetsItsOwnNasAddress) {
  FakeRadiusServer server(env_, kSecret, {}, true);
  ASSERT_TRUE(server.ready());
  radius_config("radius_nas_identifier", "mail-1");
  radius_config("radius_calling_station_id", "true");
  use(entry(server, true));
  EXPECT_EQ(check("jo", "pw", "192.0.2.7 and more"), RecordKind::accepted);
  const std::vector<RadiusRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].attribute_types, (std::vector<int>{80, 1, 2, 5, 95, 32, 31}));
  EXPECT_EQ(requests[0].nas_ipv6, std::string(15, '\0') + "\x01");
  EXPECT_EQ(requests[0].nas_identifier, "mail-1");
  EXPECT_EQ(requests[0].calling_station_id, "192.0.2.7");
}

TEST_F(RadiusCheckTest, LookupChecksTheRememberedPassword) {
  FakeRadiusServer server(env_, kSecret, [](const RadiusRequest& request, const FakeRadiusServer& self) {
    return self.answer(request, request.password == "old one" ? kAccessAccept : kAccessReject);
  });
  radius_config("radius_host", entry(server));

  CommandWords unknown = words_of("lookup", "erin");
  EXPECT_EQ(radius_lookup(unknown).kind, RecordKind::none);
  EXPECT_TRUE(server.requests().empty()) << "an unknown user is not sent";
  EXPECT_TRUE(radius_.connection.open()) << "the sockets are opened first all the same";

  ASSERT_EQ(check("erin", "old one"), RecordKind::accepted);
  CommandWords lookup = words_of("lookup", "erin");
  RecordResult found = radius_lookup(lookup);
  ASSERT_EQ(found.kind, RecordKind::accepted);
  EXPECT_EQ(found.record.password, "old one");
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].password, "old one");
}

TEST_F(RadiusCheckTest, HealthLinesShowEachServer) {
  radius_config("radius_timeout", "1");
  radius_config("radius_retries", "0");
  FakeRadiusServer down(env_, kSecret, silent());
  FakeRadiusServer up(env_, kSecret);
  use(entry(down) + "," + entry(up));
  ASSERT_EQ(check("kim", "pw"), RecordKind::accepted);
  output_.clear();
  for (const std::string& line : backend_.ops().status()) output_ += line + "\n";
  const std::string first = "+DATA     Server = " + entry(down) + " dead (";
  EXPECT_EQ(output_.rfind(first, 0), 0u) << output_;
  EXPECT_NE(output_.find(" s left), requests 1, accepts 0, rejects 0, no reply 1, last round trip none, "
                         "Status-Server not known yet, last probe never\n"),
            std::string::npos)
      << output_;
  EXPECT_NE(output_.find("+DATA     Server = " + entry(up) + " live, requests 1, accepts 1, rejects 0, no reply 0, "
                         "last round trip "),
            std::string::npos)
      << output_;
  EXPECT_NE(output_.find(" ms, Status-Server answered, last probe never\n"), std::string::npos) << output_;
}

TEST_F(RadiusCheckTest, UnopenableSocketFails) {
  radius_config("radius_host", "10.1.2.256");
  EXPECT_EQ(check("frank", "pw"), RecordKind::failed);
  CommandWords lookup = words_of("lookup", "frank");
  EXPECT_EQ(radius_lookup(lookup).kind, RecordKind::failed);
  EXPECT_EQ(output_.rfind("-DEAD: Couldn't find host {10.1.2.256}", 0), 0u);
}

}  // namespace
}  // namespace vantorix
