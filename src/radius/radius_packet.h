// Access-Request packets (RFC 2865) and the checking and reading of replies.
// Works on the packet fields of RadiusData: the request goes to `send_buf`,
// the reply is read from `recv_buf`/`recv_len`.
#pragma once

#include <cstdint>
#include <span>

#include "frontend/user_record.h"

namespace vantorix {

inline constexpr int kHeaderSize = 20;          // code, identifier, length, authenticator
inline constexpr int kAuthenticatorSize = 16;
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

/// Results of `verify_reply`.
enum VerifyResult : int {
  kReplyAccepted = 1,       // code 2 or 5 with the right identifier and authenticator
  kReplyRefused = 0,        // any other code, or a reply whose length is wrong
  kReplyBadDigest = -1,     // wrong Response Authenticator; already answered with "-DEAD"
  kReplyOtherRequest = 3,   // identifier of another request: wait for another datagram
};

/// Writes 16 bytes from the system's cryptographic random source to `out`.
/// False when the source failed.
bool make_authenticator(std::span<std::uint8_t, kAuthenticatorSize> out);

/// Builds an Access-Request for `user` and `password` (null counts as empty)
/// in `send_buf` and sets `send_len`: User-Name, User-Password hidden in
/// 16-byte blocks, NAS-Port (`server_port`), NAS-IP-Address (`nas_ip`), in
/// that order. Takes the next identifier and a fresh request authenticator.
/// Returns 1 when built; 0 with `send_len` 0 when `user` is null, and 0 with
/// an error in the log when the name is longer than kMaxUserName, the
/// password longer than kMaxPassword, the secret longer than kMaxSecret, or no
/// random bytes could be had.
int build_access_request(const char* user, const char* password);

/// Checks the reply in `recv_buf`/`recv_len` against the latest request, in
/// this order: length (a mismatch is logged and reopens the socket: 0),
/// identifier (another request's: 3), Response Authenticator (wrong: "-DEAD"
/// line on standard output and in the log, -1), then reads the attributes
/// into `record` and answers by code. On 3 and on a refusing code the
/// record's texts are already released; the caller releases them in every
/// case but 1 (releasing twice is harmless).
int verify_reply(UserRecord* record);

/// Walks the reply's attributes. When `record` is given, the texts of
/// attributes whose code is `collect_code` are put in front of its `extra`,
/// joined by one blank. Unknown, over-long and date attributes are logged and
/// skipped; a length below 2 or one running past the received bytes ends the
/// walk.
void decode_attributes(UserRecord* record);

}  // namespace vantorix
