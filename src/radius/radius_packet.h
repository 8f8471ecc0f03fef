// Access-Request packets (RFC 2865, Message-Authenticator of RFC 3579) and
// the checking and reading of replies. Building writes into the caller's
// buffer; checking reads the reply as it arrived and answers with a verdict,
// touching neither socket nor output.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "frontend/user_record.h"
#include "platform/env.h"
#include "platform/network.h"
#include "radius/radius_data.h"
#include "radius/shared_secret.h"

namespace vantorix {

inline constexpr int kHeaderSize = 20;          // code, identifier, length, authenticator
inline constexpr int kMaxUserName = 253;        // longest User-Name value an attribute can carry
inline constexpr int kMaxPassword = 128;        // longest password RFC 2865 hiding allows
inline constexpr int kPasswordBlock = 16;       // the hiding works in blocks of this size
inline constexpr int kMaxAttributeValue = 128;  // reply values this long or longer are skipped
inline constexpr int kMaxAttributeText = 253;   // longest value of any attribute

// The program's enums are enum classes with lower-case names, except numbers
// that travel in a packet or a fixed table and are used as such: PacketCode
// and AttributeCode are plain enums with k-names over the byte they are
// written as, AttributeType keeps its ATTR_ names with the dictionary's rows,
// and SlotResult its kSlot names with the slots' >0 / 0 / <0 convention.
enum PacketCode : std::uint8_t {
  kAccessRequest = 1,
  kAccessAccept = 2,
  kAccessReject = 3,
  kAccountingResponse = 5,  // no answer to an Access-Request: dropped
  kAccessChallenge = 11,
  kStatusServer = 12,
};

/// Attribute codes the program writes or looks for.
enum AttributeCode : std::uint8_t {
  kUserName = 1,
  kUserPassword = 2,
  kReplyMessage = 18,
  kNasIpAddress = 4,
  kNasPort = 5,
  kVendorSpecific = 26,
  kCallingStationId = 31,
  kNasIdentifier = 32,
  kMessageAuthenticator = 80,
  kNasIpv6Address = 95,
};

/// What `verify_reply` made of a datagram.
enum class ReplyVerdict {
  accepted,                    // Access-Accept, right identifier and authenticators
  refused,                     // Access-Reject or Access-Challenge
  not_an_answer,               // any other code: no answer to an Access-Request (RFC 2865 section 4)
  bad_length,                  // the Length field disagrees with what arrived, or no whole header came
  other_request,               // identifier of another request
  bad_digest,                  // wrong Response Authenticator: the wrong-secret signal
  bad_message_authenticator,   // a wrong Message-Authenticator, or more than one
  missing_message_authenticator,  // none, where one is required
};

/// A verdict, and whether the reply carried a valid Message-Authenticator.
struct ReplyCheck {
  ReplyVerdict verdict = ReplyVerdict::refused;
  bool signed_message = false;
};

/// What an Access-Request carries besides its identifier and authenticator.
struct AccessRequest {
  std::string_view user;
  std::string_view password;
  std::uint32_t nas_port = 0;  // the server's UDP port, as NAS-Port
  /// This machine: an IPv4 address goes as NAS-IP-Address, an IPv6 one as
  /// NAS-IPv6-Address; without one, NAS-IP-Address 0.0.0.0.
  std::optional<IpAddress> nas_address;
  std::optional<std::string_view> nas_identifier;      // NAS-Identifier
  std::optional<std::string_view> calling_station_id;  // Calling-Station-Id
  /// False leaves Message-Authenticator out: only for telling a wrong secret
  /// from a silent server, since a server that checks the attribute drops a
  /// request signed with another secret without a word.
  bool signed_request = true;
};

/// Builds an Access-Request with `identifier` and a fresh authenticator (16
/// random bytes of `env`) into
/// `out`: Message-Authenticator (HMAC-MD5 keyed with `secret` over the whole
/// packet, its own value zero), User-Name, User-Password hidden with `secret`
/// in 16-byte blocks, NAS-Port, NAS-IP-Address or NAS-IPv6-Address, then
/// NAS-Identifier and Calling-Station-Id when given, in that order. Stores the
/// packet's length in `length` and returns what a reply is checked against.
/// Nothing (length 0, error in the log) when the name is longer than
/// kMaxUserName, the password longer than kMaxPassword, the secret longer than
/// kMaxSecret, or no random bytes could be had. A Calling-Station-Id longer
/// than an attribute holds is cut.
std::optional<PendingRequest> build_access_request(Log& log, Env& env, const AccessRequest& fields,
                                                   const SharedSecret& secret, std::uint8_t identifier,
                                                   std::span<std::uint8_t> out, std::int32_t& length);

/// Builds a Status-Server (RFC 5997) with `identifier`, a fresh authenticator
/// and a Message-Authenticator, naming this machine as `nas_address` and
/// `nas_identifier` do; as `build_access_request` otherwise.
std::optional<PendingRequest> build_status_server(Log& log, Env& env, std::optional<IpAddress> nas_address,
                                                  std::optional<std::string_view> nas_identifier,
                                                  const SharedSecret& secret, std::uint8_t identifier,
                                                  std::span<std::uint8_t> out, std::int32_t& length);

/// How a reply is read besides the request it answers.
struct ReplyRules {
  const SharedSecret* secret = nullptr;  // must be set
  bool require_message_authenticator = false;
  int collect_code = kVendorSpecific;   // attribute code whose texts are collected
  VsaFormat vsa_format = VsaFormat::raw;
  /// "auto": a valid Message-Authenticator from the server makes it required
  /// of that server's later replies.
  bool learn_message_authenticator = false;
};

/// Checks the datagram `reply` (exactly the bytes that arrived) against
/// `request`, in this order: length (bad_length), identifier (other_request),
/// Response Authenticator (bad_digest), Message-Authenticator wherever it
/// stands (one wrong or more than one: bad_message_authenticator; none where
/// required: missing_message_authenticator), then the code: only
/// Access-Accept, Access-Reject and Access-Challenge answer an Access-Request
/// (or a Status-Server), any other is not_an_answer. Reads the attributes of
/// an answer into `record`. On every verdict but accepted the record's texts
/// are released.
ReplyCheck verify_reply(Log& log, std::span<const std::uint8_t> reply, const PendingRequest& request,
                        const ReplyRules& rules, UserRecord* record);

/// Walks the attributes of `reply` (the whole datagram). When `record` is
/// given, the texts of attributes whose code is `collect_code` are put in
/// front of its `extra`, joined by one blank: of a Vendor-Specific attribute
/// in the standard layout, the text of each of its sub-attributes. Unknown,
/// over-long and date attributes are logged and skipped; a length below 2 or
/// one running past the reply ends the walk.
void decode_attributes(Log& log, std::span<const std::uint8_t> reply, int collect_code, VsaFormat vsa_format,
                       UserRecord* record);

/// The texts of the Reply-Message attributes of `reply` (the whole
/// datagram), joined by one blank, with control characters as blanks; empty
/// when there are none.
std::string reply_message_text(std::span<const std::uint8_t> reply);

}  // namespace vantorix
