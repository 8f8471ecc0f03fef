#include "radius/radius_packet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "logging/log.h"
#include "platform/system.h"
#include "radius/radius_dictionary.h"
#include "radius/radius_texts.h"
#include "radius/radius_transport.h"
#include "userstore/md5.h"

namespace vantorix {
namespace {

constexpr std::uint8_t kUserName = 1;
constexpr std::uint8_t kUserPassword = 2;
constexpr std::uint8_t kNasIpAddress = 4;
constexpr std::uint8_t kNasPort = 5;

// Writes a packet front to back into a fixed buffer. A write that would not
// fit writes nothing and marks the writer as failed, so a builder checks once
// at the end instead of after every field.
class PacketWriter {
 public:
  explicit PacketWriter(std::span<std::uint8_t> buffer) : buffer_(buffer) {}

  void put_byte(std::uint8_t value) { put_bytes({&value, 1}); }

  void put_u32(std::uint32_t value) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    put_bytes(bytes);
  }

  void put_bytes(std::span<const std::uint8_t> bytes) {
    if (!ok_ || bytes.size() > buffer_.size() - size_) {
      ok_ = false;
      return;
    }
    if (!bytes.empty()) std::memcpy(buffer_.data() + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }

  // One attribute: type, length (value + 2), value.
  void put_attribute(std::uint8_t type, std::span<const std::uint8_t> value) {
    if (value.size() > 253) {
      ok_ = false;
      return;
    }
    put_byte(type);
    put_byte(static_cast<std::uint8_t>(value.size() + 2));
    put_bytes(value);
  }

  void put_u32_attribute(std::uint8_t type, std::uint32_t value) {
    put_byte(type);
    put_byte(6);
    put_u32(value);
  }

  // Overwrites the 16-bit big-endian number at `offset` of what is written.
  void patch_u16(std::size_t offset, std::uint16_t value) {
    if (!ok_ || offset + 2 > size_) {
      ok_ = false;
      return;
    }
    buffer_[offset] = static_cast<std::uint8_t>(value >> 8);
    buffer_[offset + 1] = static_cast<std::uint8_t>(value);
  }

  bool ok() const { return ok_; }
  std::size_t size() const { return size_; }

 private:
  std::span<std::uint8_t> buffer_;
  std::size_t size_ = 0;
  bool ok_ = true;
};

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Length of a text for a log message, without running past what an int holds.
int length_for_log(std::size_t length) { return static_cast<int>(std::min<std::size_t>(length, 1 << 30)); }

// RFC 2865 section 5.2: the password, padded with zero bytes to whole 16-byte
// blocks (one block at least), each block XORed with MD5(secret + previous
// block), where the block before the first is the request authenticator.
// `hidden` receives the blocks; the result is their total length.
std::size_t hide_password(std::string_view password, std::string_view secret,
                          std::span<const std::uint8_t, kAuthenticatorSize> authenticator,
                          std::span<std::uint8_t, kMaxPassword> hidden) {
  Md5 keyed;
  keyed.update(bytes_of(secret));

  const std::size_t blocks = std::max<std::size_t>(1, (password.size() + kPasswordBlock - 1) / kPasswordBlock);
  const std::uint8_t* previous = authenticator.data();
  for (std::size_t block = 0; block < blocks; ++block) {
    Md5 md5 = keyed;  // the secret is digested once for all blocks
    md5.update({previous, kAuthenticatorSize});
    std::uint8_t digest[kMd5DigestSize];
    md5.final(digest);
    std::uint8_t* out = hidden.data() + block * kPasswordBlock;
    for (std::size_t i = 0; i < kPasswordBlock; ++i) {
      const std::size_t at = block * kPasswordBlock + i;
      const auto plain = at < password.size() ? static_cast<std::uint8_t>(password[at]) : std::uint8_t{0};
      out[i] = plain ^ digest[i];
    }
    previous = out;
  }
  return blocks * kPasswordBlock;
}

// The collected texts end up inside the one success line that answers the
// check, so a line feed in a server's text would split that answer in two and
// put every later reply out of step: it becomes a blank.
void collect_text(std::optional<std::string>& extra, std::string_view text) {
  std::string joined;
  joined.reserve(text.size() + (extra ? 1 + extra->size() : 0));
  joined.append(text);
  std::replace(joined.begin(), joined.end(), '\n', ' ');
  // Later attributes go in front, so the texts end up in reverse order of arrival.
  if (extra) {
    joined.push_back(' ');
    joined.append(*extra);
  }
  extra = std::move(joined);
}

}  // namespace

bool make_authenticator(std::span<std::uint8_t, kAuthenticatorSize> out) { return random_bytes(out); }

std::uint8_t next_identifier(std::int32_t request_counter, int process_id) {
  // Unsigned arithmetic: 2^32 is a multiple of 256, so the counter wrapping
  // keeps the sequence.
  const auto counter = static_cast<std::uint32_t>(request_counter);
  return static_cast<std::uint8_t>((static_cast<std::uint32_t>(process_id) + counter % 256) % 256);
}

std::optional<PendingRequest> build_access_request(const AccessRequest& fields, std::string_view secret,
                                                   std::uint8_t identifier, std::span<std::uint8_t> out,
                                                   std::int32_t& length) {
  length = 0;
  if (fields.user.size() > static_cast<std::size_t>(kMaxUserName)) {
    log_error(radius_text::kNameTooLong, length_for_log(fields.user.size()), kMaxUserName);
    return std::nullopt;
  }
  if (fields.password.size() > static_cast<std::size_t>(kMaxPassword)) {
    log_error(radius_text::kPasswordTooLong, length_for_log(fields.password.size()), kMaxPassword);
    return std::nullopt;
  }
  if (secret.size() > static_cast<std::size_t>(kMaxSecret)) {
    log_error(radius_text::kSecretTooLong, kMaxSecret);
    return std::nullopt;
  }
  PendingRequest request;
  request.identifier = identifier;
  if (!make_authenticator(request.authenticator)) {
    log_error(radius_text::kNoRandomBytes);
    return std::nullopt;
  }

  std::array<std::uint8_t, kMaxPassword> hidden;
  const std::size_t hidden_length = hide_password(fields.password, secret, request.authenticator, hidden);

  PacketWriter packet(out);
  packet.put_byte(kAccessRequest);
  packet.put_byte(identifier);
  packet.put_byte(0);  // length, filled in below
  packet.put_byte(0);
  packet.put_bytes(request.authenticator);
  packet.put_attribute(kUserName, bytes_of(fields.user));
  packet.put_attribute(kUserPassword, std::span<const std::uint8_t>(hidden.data(), hidden_length));
  packet.put_u32_attribute(kNasPort, fields.nas_port);
  packet.put_u32_attribute(kNasIpAddress, fields.nas_ip);
  packet.patch_u16(2, static_cast<std::uint16_t>(packet.size()));
  if (!packet.ok()) {
    // Cannot happen with the bounds above (the largest request is 417 bytes).
    log_error(radius_text::kRequestTooLarge);
    return std::nullopt;
  }
  length = static_cast<std::int32_t>(packet.size());
  return request;
}

void decode_attributes(std::span<const std::uint8_t> reply, int collect_code, UserRecord* record) {
  const int end = static_cast<int>(std::min<std::size_t>(reply.size(), kMaxDatagram));
  int at = kHeaderSize;
  while (at < end) {
    const int type = reply[at];
    if (end - at < 2) {
      log_error(radius_text::kAttributePastEnd, type);
      return;
    }
    const int length = reply[at + 1];
    if (length < 2) return;
    if (length > end - at) {
      log_error(radius_text::kAttributePastEnd, type);
      return;
    }
    const int value_length = length - 2;
    const std::uint8_t* const value = reply.data() + at + 2;
    at += length;

    const std::optional<AttributeDef> row = dictionary_find(type);
    if (!row) {
      log_error(radius_text::kUnknownAttribute, type);
      continue;
    }
    if (value_length >= kMaxAttributeValue) {
      log_error(radius_text::kAttributeTooLong, type, value_length, kMaxAttributeValue);
      continue;
    }
    switch (row->type) {
      case ATTR_STRING:
        if (record != nullptr && row->code == collect_code) {
          // The text is what stands before the first zero byte.
          const void* zero = std::memchr(value, 0, static_cast<std::size_t>(value_length));
          const std::size_t text_length =
              zero != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - value)
                              : static_cast<std::size_t>(value_length);
          collect_text(record->extra, std::string_view(reinterpret_cast<const char*>(value), text_length));
        }
        break;
      case ATTR_INTEGER:
      case ATTR_IPADDR:
        break;
      default:
        log_error(radius_text::kAttributeOfUnknownType, row->name, static_cast<int>(row->type));
        break;
    }
  }
}

ReplyVerdict verify_reply(std::span<const std::uint8_t, kMaxDatagram> buffer, int received,
                          const PendingRequest& request, std::string_view secret, int collect_code,
                          UserRecord* record) {
  const int length_field = (buffer[2] << 8) | buffer[3];

  // A failed receive (a count of 0 or less) never equals the Length field,
  // and a datagram too short for the header cannot be checked at all.
  if (received < kHeaderSize || received > kMaxDatagram || length_field != received) {
    const int wanted = length_field == received ? kHeaderSize : length_field;
    log_error(radius_text::kBadLength, wanted, received, socket_error_text());
    return ReplyVerdict::bad_length;
  }
  const std::span<const std::uint8_t> reply = buffer.first(static_cast<std::size_t>(received));

  // A reply to an earlier request (one that timed out) is not an error: its
  // authenticator cannot match the current request's, so it is dropped
  // before that test and the caller waits for the next datagram.
  if (reply[1] != request.identifier) {
    free_user_record(record);
    return ReplyVerdict::other_request;
  }

  // Response Authenticator: MD5 over the reply with the request authenticator
  // in place of its own, followed by the secret, fed in pieces.
  bool digest_ok = false;
  if (secret.size() <= static_cast<std::size_t>(kMaxSecret)) {
    Md5 md5;
    md5.update(reply.first(4));
    md5.update(request.authenticator);
    md5.update(reply.subspan(kHeaderSize));
    md5.update(bytes_of(secret));
    std::uint8_t digest[kMd5DigestSize];
    md5.final(digest);
    digest_ok = std::memcmp(digest, reply.data() + 4, kAuthenticatorSize) == 0;
  }
  if (!digest_ok) {
    log_error("%s", radius_text::kBadDigest);
    return ReplyVerdict::bad_digest;
  }

  decode_attributes(reply, collect_code, record);

  if (reply[0] == kAccessAccept || reply[0] == kAccountingResponse) return ReplyVerdict::accepted;
  free_user_record(record);
  return ReplyVerdict::refused;
}

}  // namespace vantorix
