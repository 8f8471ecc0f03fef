#include "radius/radius_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "logging/log.h"
#include "platform/console.h"
#include "platform/platform_state.h"
#include "process_state.h"
#include "userstore/md5.h"

namespace vantorix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(std::string_view text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    i += 2;
  }
  return out;
}

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes md5(const Bytes& input) {
  Bytes out(kMd5DigestSize);
  md5_digest(out.data(), input.data(), static_cast<std::int32_t>(input.size()));
  return out;
}

// RFC 2865 section 5.2 written out plainly: b1 = MD5(S + RA), c1 = p1 xor b1,
// bi = MD5(S + c(i-1)), ci = pi xor bi, over the password padded with zeros
// to whole 16-byte blocks.
Bytes rfc_hide(std::string_view password, std::string_view secret, const Bytes& authenticator) {
  Bytes plain = bytes(password);
  plain.resize(std::max<std::size_t>(16, (plain.size() + 15) / 16 * 16), 0);
  Bytes hidden;
  Bytes previous = authenticator;
  for (std::size_t at = 0; at < plain.size(); at += 16) {
    const Bytes pad = md5(bytes(secret) + previous);
    Bytes block(16);
    for (int i = 0; i < 16; ++i) block[i] = plain[at + i] ^ pad[i];
    hidden = hidden + block;
    previous = block;
  }
  return hidden;
}

Bytes attribute(std::uint8_t type, const Bytes& value) {
  return Bytes{type, static_cast<std::uint8_t>(value.size() + 2)} + value;
}

// The Access-Request example of RFC 2865 section 7.1.
const Bytes kRfcAuthenticator = hex("0f403f9473978057bd83d5cb98f4227a");
constexpr std::string_view kRfcSecret = "xyzzy5461";

class RadiusPacketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_process_state();
    console_capture(&output_);
    use_authenticator(kRfcAuthenticator);
  }
  void TearDown() override { testing::reset_process_state(); }

  static void use_authenticator(const Bytes& authenticator) {
    platform_hooks().random = [authenticator](std::span<std::uint8_t> out) {
      std::copy_n(authenticator.begin(), std::min(out.size(), authenticator.size()), out.begin());
      return true;
    };
  }

  // Builds a request as a check does: the next identifier, taken only when built.
  bool build(std::string_view user, std::string_view password) {
    const AccessRequest fields{user, password, 3, 0xC0A80110};  // NAS-Port 3, NAS 192.168.1.16
    const std::uint8_t identifier = next_identifier(counter_, log_state().process_id);
    const std::optional<PendingRequest> request = build_access_request(fields, secret_, identifier, send_, send_len_);
    if (!request) return false;
    request_ = *request;
    ++counter_;
    return true;
  }

  Bytes sent() const { return Bytes(send_.begin(), send_.begin() + send_len_); }

  // A reply as a server signs it: MD5 over the reply with the request
  // authenticator in place of its own, followed by the secret.
  static Bytes signed_reply(std::uint8_t code, std::uint8_t identifier, const Bytes& attributes,
                            const Bytes& request_authenticator, std::string_view secret) {
    const auto length = static_cast<std::uint16_t>(kHeaderSize + attributes.size());
    const Bytes head{code, identifier, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    return head + md5(head + request_authenticator + attributes + bytes(secret)) + attributes;
  }

  Bytes current_authenticator() const { return Bytes(request_.authenticator.begin(), request_.authenticator.end()); }
  std::uint8_t current_identifier() const { return request_.identifier; }

  // Places a reply to the latest request in the receive buffer.
  void receive(std::uint8_t code, std::uint8_t identifier, const Bytes& attributes,
               std::string_view secret = kRfcSecret) {
    place(signed_reply(code, identifier, attributes, current_authenticator(), secret));
  }

  void place(const Bytes& datagram) {
    std::copy(datagram.begin(), datagram.end(), received_.begin());
    received_length_ = static_cast<int>(datagram.size());
  }

  ReplyVerdict verify(UserRecord* record) {
    return verify_reply(received_, received_length_, request_, secret_, kVendorSpecific, record);
  }

  // Log lines reach the captured output while debug mode is on.
  void log_to_output() { log_state().debug_mode = true; }
  bool logged(std::string_view text) const { return output_.find(text) != std::string::npos; }

  std::string secret_{kRfcSecret};
  std::int32_t counter_ = 0;
  PendingRequest request_;
  std::array<std::uint8_t, kMaxDatagram> send_{};
  std::int32_t send_len_ = 0;
  std::array<std::uint8_t, kMaxDatagram> received_{};
  int received_length_ = 0;
  std::string output_;
};

TEST_F(RadiusPacketTest, RequestMatchesRfcExampleInOurAttributeOrder) {
  ASSERT_TRUE(build("nemo", "arctangent"));
  const Bytes expected = hex("01 00 0038") + kRfcAuthenticator + attribute(1, bytes("nemo")) +
                         attribute(2, hex("0dbe708d93d413ce3196e43f782a0aee")) + hex("05 06 00000003") +
                         hex("04 06 c0a80110");
  EXPECT_EQ(sent(), expected);
}

TEST_F(RadiusPacketTest, PasswordIsHiddenInChainedBlocks) {
  secret_ = "s3cr3t";
  const std::string passwords[] = {"",
                                   "abc",
                                   "exactly16bytes!!",
                                   "seventeen bytes!!",
                                   "a password of forty characters, in full",
                                   std::string(kMaxPassword - 1, 'q') + "!"};
  for (const std::string& password : passwords) {
    SCOPED_TRACE(password.size());
    ASSERT_TRUE(build("bob", password));
    const Bytes hidden = rfc_hide(password, "s3cr3t", kRfcAuthenticator);
    const Bytes packet = sent();
    const std::size_t at = kHeaderSize + 5;  // behind User-Name "bob"
    ASSERT_GE(packet.size(), at + 2 + hidden.size());
    EXPECT_EQ(packet[at], 2);
    EXPECT_EQ(packet[at + 1], hidden.size() + 2);
    EXPECT_EQ(Bytes(packet.begin() + at + 2, packet.begin() + at + 2 + hidden.size()), hidden);
    EXPECT_EQ(packet.size(), kHeaderSize + 5 + 2 + hidden.size() + 12);
    EXPECT_EQ((packet[2] << 8) | packet[3], static_cast<int>(packet.size()));
  }
}

TEST_F(RadiusPacketTest, NamesAreSentWholeUpToTheAttributeLimit) {
  const std::string sixty(60, 'n');
  ASSERT_TRUE(build(sixty, "pw"));
  EXPECT_EQ(sent()[kHeaderSize + 1], 62);
  EXPECT_EQ(sent().size(), 52u + 60u);

  ASSERT_TRUE(build("", "pw"));
  EXPECT_EQ(sent()[kHeaderSize + 1], 2);
  EXPECT_EQ(sent().size(), 52u);

  const std::string longest(kMaxUserName, 'x');
  ASSERT_TRUE(build(longest, "pw"));
  EXPECT_EQ(sent()[kHeaderSize + 1], 255);
}

TEST_F(RadiusPacketTest, RefusesWhatCannotBeSentWhole) {
  log_to_output();
  const std::string long_name(kMaxUserName + 1, 'x');
  EXPECT_FALSE(build(long_name, "pw"));
  EXPECT_EQ(send_len_, 0);
  EXPECT_TRUE(logged("ERROR: radius: user name of 254 bytes is too long to send (at most 253)"));

  const std::string long_password(kMaxPassword + 1, 'p');
  EXPECT_FALSE(build("bob", long_password));
  EXPECT_EQ(send_len_, 0);
  EXPECT_TRUE(logged("ERROR: radius: password of 129 bytes is too long to send (at most 128)"));
  EXPECT_EQ(output_.find(long_password), std::string::npos) << "the password must never be logged";

  platform_hooks().random = [](std::span<std::uint8_t>) { return false; };
  EXPECT_FALSE(build("bob", "pw"));
  EXPECT_EQ(send_len_, 0);
  EXPECT_TRUE(logged("ERROR: radius: no random bytes for the request authenticator"));
  EXPECT_EQ(counter_, 0) << "refused requests take no identifier";
}

TEST_F(RadiusPacketTest, IdentifiersStartAtProcessIdAndWrap) {
  log_state().process_id = 254 + 256 * 40;
  std::vector<int> identifiers;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(build("bob", "pw"));
    identifiers.push_back(sent()[1]);
    EXPECT_EQ(current_identifier(), sent()[1]);
  }
  EXPECT_EQ(identifiers, (std::vector<int>{254, 255, 0, 1}));
  EXPECT_EQ(counter_, 4);
}

TEST_F(RadiusPacketTest, EveryRequestTakesFreshRandomAuthenticator) {
  platform_hooks() = {};
  ASSERT_TRUE(build("bob", "pw"));
  const Bytes first = sent();
  ASSERT_TRUE(build("bob", "pw"));
  const Bytes second = sent();
  EXPECT_NE(Bytes(first.begin() + 4, first.begin() + 20), Bytes(second.begin() + 4, second.begin() + 20));
  EXPECT_NE(Bytes(first.begin() + 22, first.begin() + 40), Bytes(second.begin() + 22, second.begin() + 40))
      << "the same password must not be hidden the same way twice";
}

TEST_F(RadiusPacketTest, RfcAccessAcceptIsAccepted) {
  ASSERT_TRUE(build("nemo", "arctangent"));
  // The Access-Accept of RFC 2865 section 7.1, answering identifier 0.
  place(hex("02 00 0026 86fe220e7624ba2a1005f6bf9b55e0b2 06 06 00000001 0f 06 00000000 0e 06 c0a80103"));
  UserRecord record;
  record.user_name = "nemo";
  EXPECT_EQ(verify(&record), ReplyVerdict::accepted);
  EXPECT_EQ(record.user_name, "nemo");
  EXPECT_FALSE(record.extra);
}

TEST_F(RadiusPacketTest, ReplyCodesDecide) {
  struct Case {
    std::uint8_t code;
    ReplyVerdict result;
  };
  for (const Case c : {Case{2, ReplyVerdict::accepted}, Case{5, ReplyVerdict::accepted}, Case{3, ReplyVerdict::refused},
                       Case{11, ReplyVerdict::refused}, Case{1, ReplyVerdict::refused}}) {
    SCOPED_TRACE(c.code);
    ASSERT_TRUE(build("bob", "pw"));
    receive(c.code, current_identifier(), attribute(26, bytes("kept")));
    UserRecord record;
    record.user_name = "bob";
    record.password = "pw";
    EXPECT_EQ(verify(&record), c.result);
    if (c.result == ReplyVerdict::accepted) {
      EXPECT_EQ(record.user_name, "bob");
      EXPECT_EQ(record.password, "pw");
    } else {
      EXPECT_FALSE(record.user_name) << "a refusal releases the record's texts";
      EXPECT_FALSE(record.password);
    }
  }
  EXPECT_TRUE(output_.empty());
}

TEST_F(RadiusPacketTest, ReplyToAnotherRequestIsSkippedBeforeTheDigest) {
  ASSERT_TRUE(build("bob", "pw"));
  const Bytes earlier_authenticator = current_authenticator();
  const std::uint8_t earlier = current_identifier();
  use_authenticator(hex("00112233445566778899aabbccddeeff"));
  ASSERT_TRUE(build("bob", "pw"));

  // A late reply to the timed-out earlier request, rightly signed for it.
  place(signed_reply(kAccessAccept, earlier, {}, earlier_authenticator, kRfcSecret));
  UserRecord record;
  record.user_name = "bob";
  EXPECT_EQ(verify(&record), ReplyVerdict::other_request);
  EXPECT_FALSE(record.user_name);
  EXPECT_TRUE(output_.empty()) << "no -DEAD line for a late reply";

  receive(kAccessAccept, current_identifier(), {});
  EXPECT_EQ(verify(&record), ReplyVerdict::accepted) << "the reply to the current request still counts";
}

TEST_F(RadiusPacketTest, WrongSecretGivesDeadLine) {
  ASSERT_TRUE(build("bob", "pw"));
  receive(kAccessAccept, current_identifier(), attribute(26, bytes("x")), "another secret");
  UserRecord record;
  record.user_name = "bob";
  log_to_output();
  EXPECT_EQ(verify(&record), ReplyVerdict::bad_digest);
  EXPECT_EQ(record.user_name, "bob") << "the caller releases the record";
  EXPECT_FALSE(record.extra) << "attributes of an unverified reply are not read";
  EXPECT_TRUE(logged("ERROR: -DEAD Received invalid reply digest from server\n"));
  EXPECT_EQ(output_.find("\n-DEAD"), std::string::npos) << "the caller writes the -DEAD line";
}

TEST_F(RadiusPacketTest, ReplyAuthenticatorCoversTheWholeDatagram) {
  ASSERT_TRUE(build("bob", "pw"));
  receive(kAccessAccept, current_identifier(), attribute(26, bytes("abc")));
  received_[kHeaderSize + 3] ^= 1;  // one bit of an attribute changed in transit
  UserRecord record;
  EXPECT_EQ(verify(&record), ReplyVerdict::bad_digest);
}

TEST_F(RadiusPacketTest, BadLengthIsLogged) {
  log_to_output();
  ASSERT_TRUE(build("bob", "pw"));

  struct Case {
    int length_field;
    int received;
    const char* message;
  };
  for (const Case c : {Case{30, 32, "(want 30/ got 32)"}, Case{40, -1, "(want 40/ got -1)"},
                       Case{10, 10, "(want 20/ got 10)"}}) {
    SCOPED_TRACE(c.message);
    output_.clear();
    received_.fill(0);
    received_[0] = kAccessAccept;
    received_[1] = current_identifier();
    received_[2] = static_cast<std::uint8_t>(c.length_field >> 8);
    received_[3] = static_cast<std::uint8_t>(c.length_field);
    received_length_ = c.received;
    UserRecord record;
    record.user_name = "bob";
    EXPECT_EQ(verify(&record), ReplyVerdict::bad_length);
    EXPECT_TRUE(logged(std::string("ERROR: Received invalid reply length from server ") + c.message + " {rad="));
    EXPECT_EQ(record.user_name, "bob") << "left to the caller";
  }
}

class RadiusDecodeTest : public RadiusPacketTest {
 protected:
  // A reply of `attributes` as received; the walk does not look at the header.
  void reply_with(const Bytes& attributes) { place(Bytes(kHeaderSize, 0) + attributes); }
  void decode(UserRecord* record, int collect_code = kVendorSpecific) {
    decode_attributes(std::span<const std::uint8_t>(received_.data(), static_cast<std::size_t>(received_length_)),
                      collect_code, record);
  }
};

TEST_F(RadiusDecodeTest, CollectsVendorTextsLatestFirst) {
  struct Case {
    Bytes attributes;
    std::optional<std::string> extra;
  };
  const Case cases[] = {
      {attribute(26, bytes("A")) + attribute(26, bytes("B")), "B A"},
      {attribute(26, bytes("one")) + attribute(18, bytes("not collected")) + attribute(26, bytes("two")) +
           attribute(26, bytes("three")),
       "three two one"},
      {attribute(26, hex("00 41 42")) + attribute(26, bytes("x")), "x "},  // text stops at a zero byte
      {attribute(26, bytes("ab") + hex("00") + bytes("cd")), "ab"},
      {attribute(26, Bytes(127, 'v')), std::string(127, 'v')},
      // A line feed would split the success line in two.
      {attribute(26, bytes("two\nlines")) + attribute(26, bytes("x\n")), "x  two lines"},
      {attribute(6, hex("00000001")) + attribute(8, hex("0a000001")), std::nullopt},
      {{}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra.value_or("(none)"));
    reply_with(c.attributes);
    UserRecord record;
    decode(&record);
    EXPECT_EQ(record.extra, c.extra);
  }
  EXPECT_TRUE(output_.empty()) << "nothing logged for known attributes";
}

TEST_F(RadiusDecodeTest, OnlyTheCollectCodeIsCollected) {
  reply_with(attribute(26, bytes("vendor")) + attribute(18, bytes("message")));
  UserRecord record;
  decode(&record, 18);
  EXPECT_EQ(record.extra, "message");

  reply_with(attribute(26, bytes("vendor")));
  decode(nullptr);  // walks without a record
}

TEST_F(RadiusDecodeTest, SkipsAndLogsWhatItCannotRead) {
  log_to_output();
  reply_with(attribute(17, bytes("?")) + attribute(21, hex("5f000000")) + attribute(3, Bytes(130, 'c')) +
             attribute(26, Bytes(128, 'w')) + attribute(26, bytes("after")));
  UserRecord record;
  decode(&record);
  EXPECT_EQ(record.extra, "after") << "the walk goes on after skipped attributes";
  EXPECT_TRUE(logged("ERROR: radius: Received unknown attribute 17\n"));
  EXPECT_TRUE(logged("ERROR: radius:     Expiration (Unknown Type 3)\n"));
  EXPECT_TRUE(logged("ERROR: radius: attribute 3 too long, 130 >= 128\n"));
  EXPECT_TRUE(logged("ERROR: radius: attribute 26 too long, 128 >= 128\n"));
}

TEST_F(RadiusDecodeTest, WalkEndsAtBadLengths) {
  log_to_output();
  struct Case {
    const char* name;
    Bytes attributes;
    bool logs;
  };
  const Case cases[] = {
      {"length below 2", attribute(26, bytes("kept")) + hex("1a 01") + attribute(26, bytes("lost")), false},
      {"length 0", attribute(26, bytes("kept")) + hex("1a 00") + attribute(26, bytes("lost")), false},
      {"runs past the datagram", attribute(26, bytes("kept")) + hex("1a 0a") + bytes("lost"), true},
      {"one byte left", attribute(26, bytes("kept")) + hex("1a"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    output_.clear();
    reply_with(c.attributes);
    // What lies behind the datagram must never be read as attribute data.
    std::fill(received_.begin() + received_length_, received_.begin() + received_length_ + 64, 'Z');
    UserRecord record;
    decode(&record);
    EXPECT_EQ(record.extra, "kept");
    EXPECT_EQ(logged("ERROR: radius: attribute 26 runs past the end of the reply"), c.logs);
  }
}

}  // namespace
}  // namespace vantorix
