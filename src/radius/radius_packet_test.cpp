#include "radius/radius_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fake_env.h"
#include "logging/log.h"
#include "platform/console.h"
#include "radius/md5.h"

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

// RFC 2104 written out plainly over the program's MD5: MD5((K ^ opad) +
// MD5((K ^ ipad) + text)), the key padded with zeros to 64 bytes.
Bytes hmac_md5(std::string_view key, const Bytes& text) {
  Bytes block = bytes(key);
  if (block.size() > 64) block = md5(block);
  block.resize(64, 0);
  Bytes inner(64), outer(64);
  for (int i = 0; i < 64; ++i) {
    inner[i] = block[i] ^ 0x36;
    outer[i] = block[i] ^ 0x5c;
  }
  return md5(outer + md5(inner + text));
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
  Console console_;
  Log log_{console_};
  void SetUp() override {
    console_.capture(&output_);
    use_authenticator(kRfcAuthenticator);
  }

  void use_authenticator(const Bytes& authenticator) {
    env_.random_source = [authenticator](std::span<std::uint8_t> out) {
      std::copy_n(authenticator.begin(), std::min(out.size(), authenticator.size()), out.begin());
      return true;
    };
  }

  bool build(std::string_view user, std::string_view password, AccessRequest fields = {}) {
    fields.user = user;
    fields.password = password;
    fields.nas_port = 3;
    if (!fields.nas_address) fields.nas_address = IpAddress::v4(0xC0A80110);  // 192.168.1.16
    const std::optional<PendingRequest> request =
        build_access_request(log_, env_, fields, secret_, identifier_, send_, send_len_);
    if (request) request_ = *request;
    return request.has_value();
  }

  Bytes sent() const { return Bytes(send_.begin(), send_.begin() + send_len_); }

  // The attributes of the last request after its Message-Authenticator.
  Bytes sent_after_message_authenticator() const { return Bytes(send_.begin() + 38, send_.begin() + send_len_); }

  // A reply as a server signs it: MD5 over the reply with the request
  // authenticator in place of its own, followed by the secret; with
  // `message_authenticator_at` (an offset into the attributes, whose 16
  // bytes there are zero) the Message-Authenticator is computed first.
  static Bytes signed_reply(std::uint8_t code, std::uint8_t identifier, Bytes attributes,
                            const Bytes& request_authenticator, std::string_view secret,
                            std::optional<std::size_t> message_authenticator_at = std::nullopt) {
    const auto length = static_cast<std::uint16_t>(kHeaderSize + attributes.size());
    const Bytes head{code, identifier, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    if (message_authenticator_at) {
      const Bytes code_bytes = hmac_md5(secret, head + request_authenticator + attributes);
      std::copy(code_bytes.begin(), code_bytes.end(), attributes.begin() + static_cast<long>(*message_authenticator_at));
    }
    return head + md5(head + request_authenticator + attributes + bytes(secret)) + attributes;
  }

  Bytes current_authenticator() const { return Bytes(request_.authenticator.begin(), request_.authenticator.end()); }
  std::uint8_t current_identifier() const { return request_.identifier; }

  // Places a reply to the latest request in the receive buffer.
  void receive(std::uint8_t code, std::uint8_t identifier, const Bytes& attributes,
               std::string_view secret = kRfcSecret) {
    place(signed_reply(code, identifier, attributes, current_authenticator(), secret));
  }

  void place(const Bytes& datagram) { received_ = datagram; }

  ReplyVerdict verify(UserRecord* record, bool require_message_authenticator = false) {
    ReplyRules rules;
    rules.secret = &secret_;
    rules.require_message_authenticator = require_message_authenticator;
    return verify_reply(log_, received_, request_, rules, record).verdict;
  }

  // Log lines reach the captured output while debug mode is on.
  void log_to_output() { log_.state().debug_mode = true; }
  bool logged(std::string_view text) const { return output_.find(text) != std::string::npos; }

  testing::FakeEnv env_;
  SharedSecret secret_{kRfcSecret};
  std::uint8_t identifier_ = 0;
  PendingRequest request_;
  std::array<std::uint8_t, kMaxDatagram> send_{};
  std::int32_t send_len_ = 0;
  Bytes received_;
  std::string output_;
};

TEST_F(RadiusPacketTest, RequestMatchesRfcExampleBehindItsMessageAuthenticator) {
  ASSERT_TRUE(build("nemo", "arctangent"));
  const Bytes attributes = attribute(1, bytes("nemo")) + attribute(2, hex("0dbe708d93d413ce3196e43f782a0aee")) +
                           hex("05 06 00000003") + hex("04 06 c0a80110");
  const Bytes head = hex("01 00 004a") + kRfcAuthenticator;
  const Bytes unsigned_packet = head + hex("50 12") + Bytes(16, 0) + attributes;
  const Bytes expected = head + hex("50 12") + hmac_md5(kRfcSecret, unsigned_packet) + attributes;
  EXPECT_EQ(sent(), expected);
}

TEST_F(RadiusPacketTest, OptionalAttributesFollowInOrder) {
  AccessRequest fields;
  fields.nas_address = loopback_address(AddressFamily::ipv6);
  fields.nas_identifier = "mail-1";
  const std::string long_address(300, '9');
  fields.calling_station_id = long_address;
  ASSERT_TRUE(build("bob", "pw", fields));
  const Bytes after = sent_after_message_authenticator();
  const Bytes expected_tail = attribute(95, Bytes(15, 0) + Bytes{1}) + attribute(32, bytes("mail-1")) +
                              attribute(31, Bytes(253, '9'));
  ASSERT_GE(after.size(), expected_tail.size());
  EXPECT_EQ(Bytes(after.end() - static_cast<long>(expected_tail.size()), after.end()), expected_tail)
      << "NAS-IPv6-Address in place of NAS-IP-Address; a long Calling-Station-Id is cut to 253";

  ASSERT_TRUE(build_access_request(log_, env_, {"bob", "pw", 3, std::nullopt, {}, {}}, secret_, 0, send_, send_len_));
  EXPECT_EQ(Bytes(send_.begin() + send_len_ - 6, send_.begin() + send_len_), hex("04 06 00000000"))
      << "a machine whose address is unknown sends NAS-IP-Address 0.0.0.0";
}

TEST_F(RadiusPacketTest, StatusServerCarriesMessageAuthenticatorAndTheNas) {
  const std::optional<PendingRequest> request = build_status_server(
      log_, env_, IpAddress::v4(0x7F000001), std::string_view("mail-1"), secret_, 9, send_, send_len_);
  ASSERT_TRUE(request);
  const Bytes packet = sent();
  EXPECT_EQ(packet[0], kStatusServer);
  EXPECT_EQ(packet[1], 9);
  Bytes zeroed = packet;
  std::fill(zeroed.begin() + 22, zeroed.begin() + 38, 0);
  EXPECT_EQ(Bytes(packet.begin() + 22, packet.begin() + 38), hmac_md5(kRfcSecret, zeroed));
  EXPECT_EQ(Bytes(packet.begin() + 38, packet.end()), hex("04 06 7f000001") + attribute(32, bytes("mail-1")));
}

TEST_F(RadiusPacketTest, PasswordIsHiddenInChainedBlocks) {
  secret_ = SharedSecret("s3cr3t");
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
    const std::size_t at = kHeaderSize + 18 + 5;  // behind Message-Authenticator and User-Name "bob"
    ASSERT_GE(packet.size(), at + 2 + hidden.size());
    EXPECT_EQ(packet[at], 2);
    EXPECT_EQ(packet[at + 1], hidden.size() + 2);
    EXPECT_EQ(Bytes(packet.begin() + at + 2, packet.begin() + at + 2 + hidden.size()), hidden);
    EXPECT_EQ(packet.size(), at + 2 + hidden.size() + 12);
    EXPECT_EQ((packet[2] << 8) | packet[3], static_cast<int>(packet.size()));
  }
}

TEST_F(RadiusPacketTest, NamesAreSentWholeUpToTheAttributeLimit) {
  constexpr std::size_t kNameAt = kHeaderSize + 18;
  const std::string sixty(60, 'n');
  ASSERT_TRUE(build(sixty, "pw"));
  EXPECT_EQ(sent()[kNameAt + 1], 62);
  EXPECT_EQ(sent().size(), 70u + 60u);

  ASSERT_TRUE(build("", "pw"));
  EXPECT_EQ(sent()[kNameAt + 1], 2);
  EXPECT_EQ(sent().size(), 70u);

  const std::string longest(kMaxUserName, 'x');
  ASSERT_TRUE(build(longest, "pw"));
  EXPECT_EQ(sent()[kNameAt + 1], 255);
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

  env_.random_source = [](std::span<std::uint8_t>) { return false; };
  EXPECT_FALSE(build("bob", "pw"));
  EXPECT_EQ(send_len_, 0);
  EXPECT_TRUE(logged("ERROR: radius: no random bytes for the request authenticator"));
}

TEST_F(RadiusPacketTest, EveryRequestTakesFreshRandomAuthenticator) {
  env_.random_source = nullptr;
  ASSERT_TRUE(build("bob", "pw"));
  const Bytes first = sent();
  ASSERT_TRUE(build("bob", "pw"));
  const Bytes second = sent();
  EXPECT_NE(Bytes(first.begin() + 4, first.begin() + 20), Bytes(second.begin() + 4, second.begin() + 20));
  EXPECT_NE(Bytes(first.begin() + 40, first.begin() + 58), Bytes(second.begin() + 40, second.begin() + 58))
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
  EXPECT_EQ(verify(&record, true), ReplyVerdict::missing_message_authenticator)
      << "the same reply, where a Message-Authenticator is required";
}

TEST_F(RadiusPacketTest, ReplyCodesDecide) {
  struct Case {
    std::uint8_t code;
    ReplyVerdict result;
  };
  // Only Access-Accept accepts; a correctly signed Accounting-Response (or
  // any code that answers no Access-Request) is dropped, not taken.
  for (const Case c : {Case{2, ReplyVerdict::accepted}, Case{3, ReplyVerdict::refused}, Case{11, ReplyVerdict::refused},
                       Case{5, ReplyVerdict::not_an_answer}, Case{1, ReplyVerdict::not_an_answer},
                       Case{4, ReplyVerdict::not_an_answer}, Case{12, ReplyVerdict::not_an_answer},
                       Case{255, ReplyVerdict::not_an_answer}}) {
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

TEST_F(RadiusPacketTest, MessageAuthenticatorIsVerifiedWhereverItStands) {
  ASSERT_TRUE(build("bob", "pw"));
  const Bytes ma = attribute(80, Bytes(16, 0));
  const Bytes text = attribute(26, bytes("kept"));
  struct Case {
    const char* name;
    Bytes attributes;
    std::optional<std::size_t> ma_at;
    bool spoil;
    ReplyVerdict verdict;
    bool signed_message;
  };
  const Case cases[] = {
      {"first", ma + text, 2, false, ReplyVerdict::accepted, true},
      {"last", text + ma, text.size() + 2, false, ReplyVerdict::accepted, true},
      {"wrong", text + ma, text.size() + 2, true, ReplyVerdict::bad_message_authenticator, false},
      {"doubled", ma + text + ma, 2, false, ReplyVerdict::bad_message_authenticator, false},
      {"short one", text + attribute(80, Bytes(8, 0)), std::nullopt, false, ReplyVerdict::bad_message_authenticator,
       false},
      {"none", text, std::nullopt, false, ReplyVerdict::accepted, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes reply = signed_reply(kAccessAccept, current_identifier(), c.attributes, current_authenticator(), kRfcSecret,
                               c.ma_at);
    if (c.spoil) {
      // Spoilt before the Response Authenticator is made, as a forger who
      // knows the secret's digest trick but not the HMAC would.
      Bytes attributes(reply.begin() + kHeaderSize, reply.end());
      attributes[*c.ma_at] ^= 1;
      reply = signed_reply(kAccessAccept, current_identifier(), attributes, current_authenticator(), kRfcSecret);
    }
    place(reply);
    UserRecord record;
    ReplyRules rules;
    rules.secret = &secret_;
    const ReplyCheck check = verify_reply(log_, received_, request_, rules, &record);
    EXPECT_EQ(check.verdict, c.verdict);
    EXPECT_EQ(check.signed_message, c.signed_message);
    EXPECT_EQ(record.extra.has_value(), c.verdict == ReplyVerdict::accepted) << "texts only of a valid reply";
  }
}

TEST_F(RadiusPacketTest, ReplyToAnotherRequestIsSkippedBeforeTheDigest) {
  ASSERT_TRUE(build("bob", "pw"));
  const Bytes earlier_authenticator = current_authenticator();
  const std::uint8_t earlier = current_identifier();
  use_authenticator(hex("00112233445566778899aabbccddeeff"));
  identifier_ = 1;
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

TEST_F(RadiusPacketTest, WrongSecretIsABadDigest) {
  ASSERT_TRUE(build("bob", "pw"));
  receive(kAccessAccept, current_identifier(), attribute(26, bytes("x")), "another secret");
  UserRecord record;
  record.user_name = "bob";
  log_to_output();
  EXPECT_EQ(verify(&record), ReplyVerdict::bad_digest);
  EXPECT_FALSE(record.extra) << "attributes of an unverified reply are not read";
  EXPECT_TRUE(output_.empty()) << "the caller decides what the parent is told";
}

TEST_F(RadiusPacketTest, ReplyAuthenticatorCoversTheWholeDatagram) {
  // One bit changed in transit: of an attribute, or of the Response
  // Authenticator's first or last byte.
  for (const std::size_t at : {std::size_t{kHeaderSize} + 3, std::size_t{4}, std::size_t{kHeaderSize} - 1}) {
    SCOPED_TRACE(at);
    ASSERT_TRUE(build("bob", "pw"));
    receive(kAccessAccept, current_identifier(), attribute(26, bytes("abc")));
    received_[at] ^= 1;
    UserRecord record;
    EXPECT_EQ(verify(&record), ReplyVerdict::bad_digest);
  }
}

TEST_F(RadiusPacketTest, LengthFieldMustMatchWhatArrived) {
  ASSERT_TRUE(build("bob", "pw"));
  struct Case {
    int length_field;
    std::size_t size;
  };
  for (const Case c : {Case{30, 32}, Case{40, 20}, Case{10, 10}, Case{20, 3}, Case{0, 0}}) {
    SCOPED_TRACE(c.size);
    Bytes datagram(c.size, 0);
    if (c.size >= 4) {
      datagram[0] = kAccessAccept;
      datagram[1] = current_identifier();
      datagram[2] = static_cast<std::uint8_t>(c.length_field >> 8);
      datagram[3] = static_cast<std::uint8_t>(c.length_field);
    }
    place(datagram);
    UserRecord record;
    EXPECT_EQ(verify(&record), ReplyVerdict::bad_length);
  }
}

class RadiusDecodeTest : public RadiusPacketTest {
 protected:
  // A reply of `attributes` as received; the walk does not look at the header.
  void reply_with(const Bytes& attributes) { place(Bytes(kHeaderSize, 0) + attributes); }
  void decode(UserRecord* record, int collect_code = kVendorSpecific, VsaFormat format = VsaFormat::raw) {
    decode_attributes(log_, received_, collect_code, format, record);
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

TEST_F(RadiusDecodeTest, StandardVendorLayoutGivesEachSubAttributeText) {
  const Bytes cisco = hex("00000009") + attribute(1, bytes("shell:priv-lvl=15"));
  const Bytes two = hex("000001ff") + attribute(5, bytes("first")) + attribute(6, bytes("second"));
  reply_with(attribute(26, cisco) + attribute(26, two));
  UserRecord record;
  decode(&record, kVendorSpecific, VsaFormat::standard);
  EXPECT_EQ(record.extra, "second first shell:priv-lvl=15");

  UserRecord raw;
  decode(&raw, kVendorSpecific, VsaFormat::raw);
  EXPECT_EQ(raw.extra, " ") << "read whole, the zero first byte of each vendor id ends its text";

  log_to_output();
  reply_with(attribute(26, hex("00000009") + attribute(1, bytes("ok")) + hex("02 09 41")) +
             attribute(26, hex("0000")));
  UserRecord broken;
  decode(&broken, kVendorSpecific, VsaFormat::standard);
  EXPECT_EQ(broken.extra, "ok") << "the sub-attributes before a broken one count";
  EXPECT_TRUE(logged("ERROR: radius: Vendor-Specific attribute of vendor 9 is not in the standard layout"));
  EXPECT_TRUE(logged("ERROR: radius: Vendor-Specific attribute of vendor 0 is not in the standard layout"));
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
    // The reply is exactly the bytes that arrived, so the sanitizer build
    // catches any read past them.
    UserRecord record;
    decode(&record);
    EXPECT_EQ(record.extra, "kept");
    EXPECT_EQ(logged("ERROR: radius: attribute 26 runs past the end of the reply"), c.logs);
  }
}

}  // namespace
}  // namespace vantorix
