// Access-Request packets (RFC 2865) and the checking and reading of replies.
// Building writes into the caller's buffer; checking reads the reply as it
// arrived and answers with a verdict, touching neither socket nor output.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "frontend/user_record.h"
#include "radius/radius_data.h"

namespace vantorix {

inline constexpr int kHeaderSize = 20;          // code, identifier, length, authenticator
inline constexpr int kMaxUserName = 253;        // longest User-Name value an attribute can carry
inline constexpr int kMaxPassword = 128;        // longest password RFC 2865 hiding allows
inline constexpr int kPasswordBlock = 16;       // the hiding works in blocks of this size
inline constexpr int kMaxAttributeValue = 128;  // reply values this long or longer are skipped

enum PacketCode : std::uint8_t {
  kAccessRequest = 1,
  kAccessAccept = 2,
  kAccessReject = 3,
  kAccountingResponse = 5,  // taken as an acceptance, like code 2
  kAccessChallenge = 11,
};

/// Attribute code whose text values a check collects into the answer.
inline constexpr int kVendorSpecific = 26;

/// What `verify_reply` made of a datagram.
enum class ReplyVerdict {
  accepted,       // code 2 or 5 with the right identifier and authenticator
  refused,        // any other code
  bad_length,     // the Length field disagrees with what arrived (or nothing usable arrived)
  bad_digest,     // wrong Response Authenticator: the wrong-secret signal
  other_request,  // identifier of another request: wait for another datagram
};

/// What an Access-Request carries besides its identifier and authenticator.
struct AccessRequest {
  std::string_view user;
  std::string_view password;
  std::uint32_t nas_port = 0;  // the server's UDP port, as NAS-Port
  std::uint32_t nas_ip = 0;    // this machine's IPv4 address, host order
};

/// Writes 16 bytes from the system's cryptographic random source to `out`.
/// False when the source failed.
bool make_authenticator(std::span<std::uint8_t, kAuthenticatorSize> out);

/// The identifier of the next request: the process id mod 256 for the first
/// request after start, then the next value for each later one.
std::uint8_t next_identifier(std::int32_t request_counter, int process_id);

/// Builds an Access-Request with `identifier` and a fresh authenticator into
/// `out`: User-Name, User-Password hidden with `secret` in 16-byte blocks,
/// NAS-Port, NAS-IP-Address, in that order. Stores the packet's length in
/// `length` and returns what a reply is checked against. Nothing (length 0,
/// error in the log) when the name is longer than kMaxUserName, the password
/// longer than kMaxPassword, the secret longer than kMaxSecret, or no random
/// bytes could be had.
std::optional<PendingRequest> build_access_request(const AccessRequest& fields, std::string_view secret,
                                                   std::uint8_t identifier, std::span<std::uint8_t> out,
                                                   std::int32_t& length);

/// Checks the datagram in `buffer` (`received` is the receive's result: the
/// bytes that arrived, or 0 or less for a failed receive) against `request`,
/// in this order: length (a mismatch is logged: bad_length), identifier
/// (another request's: other_request), Response Authenticator (wrong: logged,
/// bad_digest), then reads the attributes into `record` (texts of code
/// `collect_code`) and answers by code. On other_request and refused the
/// record's texts are already released; the caller releases them in every
/// case but accepted (releasing twice is harmless).
ReplyVerdict verify_reply(std::span<const std::uint8_t, kMaxDatagram> buffer, int received,
                          const PendingRequest& request, std::string_view secret, int collect_code,
                          UserRecord* record);

/// Walks the attributes of `reply` (the whole datagram). When `record` is
/// given, the texts of attributes whose code is `collect_code` are put in
/// front of its `extra`, joined by one blank. Unknown, over-long and date
/// attributes are logged and skipped; a length below 2 or one running past
/// the reply ends the walk.
void decode_attributes(std::span<const std::uint8_t> reply, int collect_code, UserRecord* record);

}  // namespace vantorix
