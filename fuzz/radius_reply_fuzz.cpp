// Fuzzes the checking and reading of RADIUS replies: verify_reply and
// decode_attributes over fuzzed datagrams, answering a request built with a
// fixed authenticator. Most runs fix the Length field, the identifier and the
// Response Authenticator, so that fuzzed attributes reach the attribute walk;
// some also sign a Message-Authenticator into the reply.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fake_env.h"
#include "logging/log.h"
#include "platform/console.h"
#include "radius/md5.h"
#include "radius/radius_data.h"
#include "radius/radius_packet.h"

namespace {

using vantorix::kHeaderSize;
using vantorix::kMaxDatagram;
using vantorix::ReplyVerdict;

constexpr std::array<std::uint8_t, vantorix::kAuthenticatorSize> kRequestAuthenticator = {
    0x0f, 0x40, 0x3f, 0x94, 0x73, 0x97, 0x80, 0x57, 0xbd, 0x83, 0xd5, 0xcb, 0x98, 0xf4, 0x22, 0x7a};

const std::string& secret_of(int choice) {
  static const std::string secrets[] = {"xyzzy5461", "", std::string(vantorix::kMaxSecret, 'k')};
  return secrets[choice];
}

// Fills a Message-Authenticator at `value_at` as the server would: HMAC-MD5
// over the reply with the request authenticator in place and the value zero.
void sign_message(std::vector<std::uint8_t>& reply, const std::string& secret, std::size_t value_at) {
  std::vector<std::uint8_t> signed_part(reply);
  std::copy(kRequestAuthenticator.begin(), kRequestAuthenticator.end(), signed_part.begin() + 4);
  std::fill(signed_part.begin() + static_cast<long>(value_at), signed_part.begin() + static_cast<long>(value_at) + 16, 0);
  vantorix::HmacMd5 hmac({reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size()});
  hmac.update(signed_part);
  hmac.final(reply.data() + value_at);
}

// Signs `reply` as the server would: MD5 over the reply with the request
// authenticator in place of its own, followed by the secret.
void sign(std::vector<std::uint8_t>& reply, const std::string& secret) {
  std::vector<std::uint8_t> signed_part(reply);
  std::copy(kRequestAuthenticator.begin(), kRequestAuthenticator.end(), signed_part.begin() + 4);
  signed_part.insert(signed_part.end(), secret.begin(), secret.end());
  std::uint8_t digest[vantorix::kMd5DigestSize];
  vantorix::md5_digest(digest, signed_part.data(), static_cast<std::int32_t>(signed_part.size()));
  std::copy(digest, digest + vantorix::kAuthenticatorSize, reply.begin() + 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::string output;
  vantorix::Console console;
  vantorix::Log log(console);
  log.state().log_path.reset();
  log.state().process_id = 4242;

  const std::uint8_t control = input.ConsumeIntegral<std::uint8_t>();
  const std::string& secret = secret_of(input.ConsumeIntegralInRange<int>(0, 2));
  const int collect_code = (control & 0x08) ? input.ConsumeIntegral<std::uint8_t>() : vantorix::kVendorSpecific;
  const std::uint8_t identifier = input.ConsumeIntegral<std::uint8_t>();
  const vantorix::SharedSecret shared(secret);
  const std::uint8_t options = input.ConsumeIntegral<std::uint8_t>();
  const bool require_message_authenticator = (options & 0x01) != 0;
  const bool place_message_authenticator = (options & 0x02) != 0;  // a signed one at the front
  const auto vsa_format = (options & 0x04) != 0 ? vantorix::VsaFormat::standard : vantorix::VsaFormat::raw;
  // Log lines go to the captured output in debug mode, so the formatting of
  // every message the walk logs runs too; the output is then not checked.
  log.state().debug_mode = (control & 0x10) != 0;
  vantorix::testing::FakeEnv env;
  env.random_source = [](std::span<std::uint8_t> out) {
    std::copy_n(kRequestAuthenticator.begin(), std::min(out.size(), kRequestAuthenticator.size()), out.begin());
    return true;
  };
  std::array<std::uint8_t, kMaxDatagram> request_bytes{};
  std::int32_t request_length = 0;
  const std::optional<vantorix::PendingRequest> request = vantorix::build_access_request(
      log, env, {"nemo", "arctangent", 1812, vantorix::IpAddress::v4(0x7F000001), {}, {}}, shared, identifier,
      request_bytes, request_length);
  if (!request) __builtin_trap();

  // The datagram: the rest of the input, at most what one receive gives.
  std::vector<std::uint8_t> reply = input.ConsumeRemainingBytes<std::uint8_t>();
  if (reply.size() > static_cast<std::size_t>(kMaxDatagram)) reply.resize(kMaxDatagram);
  // Mode 0-4 fixes every field, 5-7 each leave one as fuzzed. A reply too
  // short for a header is always left as it is.
  const int mode = control & 0x07;
  const bool whole_header = reply.size() >= static_cast<std::size_t>(kHeaderSize);
  if (whole_header && mode != 5) {
    reply[2] = static_cast<std::uint8_t>(reply.size() >> 8);
    reply[3] = static_cast<std::uint8_t>(reply.size());
  }
  if (whole_header && place_message_authenticator) {
    // A Message-Authenticator right after the header, then the fuzzed attributes.
    const std::uint8_t attribute[18] = {vantorix::kMessageAuthenticator, 18};
    reply.insert(reply.begin() + kHeaderSize, attribute, attribute + sizeof attribute);
    if (reply.size() > static_cast<std::size_t>(kMaxDatagram)) reply.resize(kMaxDatagram);
    if (mode != 5) {
      reply[2] = static_cast<std::uint8_t>(reply.size() >> 8);
      reply[3] = static_cast<std::uint8_t>(reply.size());
    }
  }
  if (whole_header && mode != 6) reply[1] = request->identifier;
  if (whole_header && place_message_authenticator) sign_message(reply, secret, kHeaderSize + 2);
  if (whole_header && mode != 7) sign(reply, secret);

  console.capture(&output);
  vantorix::UserRecord record;
  record.user_name = "nemo";
  vantorix::ReplyRules rules;
  rules.secret = &shared;
  rules.require_message_authenticator = require_message_authenticator;
  rules.collect_code = collect_code;
  rules.vsa_format = vsa_format;
  const vantorix::ReplyCheck check = vantorix::verify_reply(log, reply, *request, rules, &record);
  const ReplyVerdict result = check.verdict;
  console.capture(nullptr);

  // Length, identifier and Response Authenticator made right by the harness.
  const bool signed_and_sound = whole_header && mode < 5;
  switch (result) {
    case ReplyVerdict::accepted:
      if (reply[0] != vantorix::kAccessAccept) __builtin_trap();
      if (record.user_name != "nemo") __builtin_trap();
      // Collected texts end at their first zero byte, and never hold a line
      // feed: they are written into the one success line.
      if (record.extra && record.extra->find_first_of(std::string_view("\0\n", 2)) != std::string::npos)
        __builtin_trap();
      break;
    case ReplyVerdict::refused:
      if (reply[0] != vantorix::kAccessReject && reply[0] != vantorix::kAccessChallenge) __builtin_trap();
      break;
    case ReplyVerdict::not_an_answer:
      // Only Access-Accept, Access-Reject and Access-Challenge answer.
      if (reply[0] == vantorix::kAccessAccept || reply[0] == vantorix::kAccessReject ||
          reply[0] == vantorix::kAccessChallenge)
        __builtin_trap();
      break;
    case ReplyVerdict::bad_length:
    case ReplyVerdict::other_request:
    case ReplyVerdict::bad_digest:
      // A correctly signed reply of its own request is never taken for another.
      if (signed_and_sound) __builtin_trap();
      break;
    case ReplyVerdict::bad_message_authenticator:
      // Only fuzzed attributes of type 80 (a second one, or a malformed
      // one) spoil a reply whose one Message-Authenticator the harness signed.
      break;
    case ReplyVerdict::missing_message_authenticator:
      if (!require_message_authenticator || place_message_authenticator) __builtin_trap();
      break;
  }
  // Fuzzed bytes never make a valid HMAC of their own.
  if (check.signed_message && !place_message_authenticator) __builtin_trap();
  // Checking a reply never writes to standard output; outside debug mode
  // (where log lines echo there) nothing at all may appear.
  if (!log.state().debug_mode && !output.empty()) __builtin_trap();

  // The walk on its own, without a record, over the same bytes.
  console.capture(&output);
  vantorix::decode_attributes(log, std::span<const std::uint8_t>(reply), collect_code, vsa_format, nullptr);
  console.capture(nullptr);
  return 0;
}
