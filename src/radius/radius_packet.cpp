#include "radius/radius_packet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "logging/log.h"
#include "platform/system.h"
#include "radius/md5.h"
#include "radius/radius_dictionary.h"
#include "radius/radius_texts.h"

namespace vantorix {
namespace {

constexpr int kMessageAuthenticatorSize = 16;
constexpr std::size_t kVendorIdSize = 4;

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

  // Overwrites `bytes.size()` bytes at `offset` of what is written.
  void patch(std::size_t offset, std::span<const std::uint8_t> bytes) {
    if (!ok_ || offset + bytes.size() > size_) {
      ok_ = false;
      return;
    }
    std::memcpy(buffer_.data() + offset, bytes.data(), bytes.size());
  }

  bool ok() const { return ok_; }
  std::size_t size() const { return size_; }
  std::span<const std::uint8_t> written() const { return buffer_.first(size_); }

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
std::size_t hide_password(std::string_view password, const SharedSecret& secret,
                          std::span<const std::uint8_t, kAuthenticatorSize> authenticator,
                          std::span<std::uint8_t, kMaxPassword> hidden) {
  const std::size_t blocks = std::max<std::size_t>(1, (password.size() + kPasswordBlock - 1) / kPasswordBlock);
  const std::uint8_t* previous = authenticator.data();
  for (std::size_t block = 0; block < blocks; ++block) {
    std::uint8_t digest[kMd5DigestSize];
    md5_of({bytes_of(secret.text()), {previous, kAuthenticatorSize}}, digest);
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
  // The text is what stands before the first zero byte.
  text = text.substr(0, text.find('\0'));
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

// The sub-attributes of a Vendor-Specific value in the layout of RFC 2865
// section 5.26: the vendor id, then type, length and value for each. A
// layout that does not hold is logged, and only the sub-attributes before
// the fault are collected.
void collect_vendor_texts(Log& log, std::optional<std::string>& extra, std::span<const std::uint8_t> value) {
  if (value.size() < kVendorIdSize) {
    log.error(radius_text::kVendorLayoutBroken, 0u);
    return;
  }
  const std::uint32_t vendor = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                               (std::uint32_t{value[2]} << 8) | value[3];
  std::span<const std::uint8_t> rest = value.subspan(kVendorIdSize);
  while (!rest.empty()) {
    if (rest.size() < 2 || rest[1] < 2 || rest[1] > rest.size()) {
      log.error(radius_text::kVendorLayoutBroken, vendor);
      return;
    }
    const std::span<const std::uint8_t> sub = rest.subspan(2, rest[1] - 2u);
    collect_text(extra, std::string_view(reinterpret_cast<const char*>(sub.data()), sub.size()));
    rest = rest.subspan(rest[1]);
  }
}

// The value of the Message-Authenticator of `packet`, whose attribute value
// stands at `value_at`: HMAC-MD5 keyed with the secret over the packet with
// `authenticator` in the authenticator field and the value itself zero.
std::array<std::uint8_t, kMessageAuthenticatorSize> message_authenticator(
    const SharedSecret& secret, std::span<const std::uint8_t> packet,
    std::span<const std::uint8_t, kAuthenticatorSize> authenticator, std::size_t value_at) {
  static constexpr std::array<std::uint8_t, kMessageAuthenticatorSize> kZero{};
  std::array<std::uint8_t, kMessageAuthenticatorSize> code;
  secret.hmac().code_of({packet.first(4), authenticator, packet.subspan(kHeaderSize, value_at - kHeaderSize), kZero,
                         packet.subspan(value_at + kMessageAuthenticatorSize)},
                        code.data());
  return code;
}

// Equal without a shortcut: the time taken says nothing of where two
// authenticators differ.
bool equal_in_constant_time(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.size() != b.size()) return false;
  std::uint8_t difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<std::uint8_t>(a[i] ^ b[i]);
  return difference == 0;
}

// Where the attributes of `reply` hold Message-Authenticator values.
struct MessageAuthenticatorSearch {
  int count = 0;
  std::size_t value_at = 0;  // of the first one
  bool well_formed = true;   // false: one whose length is not 18
};

MessageAuthenticatorSearch find_message_authenticators(std::span<const std::uint8_t> reply) {
  MessageAuthenticatorSearch found;
  for (std::size_t at = kHeaderSize; at + 2 <= reply.size();) {
    const std::size_t length = reply[at + 1];
    if (length < 2 || at + length > reply.size()) break;
    if (reply[at] == kMessageAuthenticator) {
      if (found.count++ == 0) found.value_at = at + 2;
      if (length != 2 + kMessageAuthenticatorSize) found.well_formed = false;
    }
    at += length;
  }
  return found;
}

// The header of a request and its Message-Authenticator, which is written
// as zeros and filled in once the packet is complete.
std::optional<PendingRequest> begin_request(Log& log, Env& env, PacketWriter& packet, std::uint8_t code,
                                            std::uint8_t identifier, bool signed_request = true) {
  PendingRequest request;
  request.identifier = identifier;
  if (!env.random(request.authenticator)) {
    log.error(radius_text::kNoRandomBytes);
    return std::nullopt;
  }
  packet.put_byte(code);
  packet.put_byte(identifier);
  packet.put_byte(0);  // length, filled in at the end
  packet.put_byte(0);
  packet.put_bytes(request.authenticator);
  static constexpr std::array<std::uint8_t, kMessageAuthenticatorSize> kZero{};
  if (signed_request) packet.put_attribute(kMessageAuthenticator, kZero);
  return request;
}

void put_nas_address(PacketWriter& packet, const std::optional<IpAddress>& address) {
  if (address && address->family == AddressFamily::ipv6) {
    packet.put_attribute(kNasIpv6Address, address->bytes);
  } else {
    packet.put_u32_attribute(kNasIpAddress, address ? address->v4_host_order() : 0);
  }
}

// The length and the Message-Authenticator (when signed) of a complete
// request; its length in `length`, or false when it did not fit.
bool finish_request(Log& log, PacketWriter& packet, const PendingRequest& request, const SharedSecret& secret,
                    std::int32_t& length, bool signed_request = true) {
  packet.patch_u16(2, static_cast<std::uint16_t>(packet.size()));
  if (!packet.ok()) {
    // Cannot happen with the bounds of the fields (the largest request has
    // well under 1,500 bytes).
    log.error(radius_text::kRequestTooLarge);
    return false;
  }
  constexpr std::size_t kValueAt = kHeaderSize + 2;  // the first attribute's value
  if (signed_request) {
    packet.patch(kValueAt, message_authenticator(secret, packet.written(), request.authenticator, kValueAt));
  }
  length = static_cast<std::int32_t>(packet.size());
  return true;
}

// Refuses a shared secret that cannot be used, with an error in the log.
bool usable_secret(Log& log, const SharedSecret& secret) {
  if (secret.text().size() <= static_cast<std::size_t>(kMaxSecret)) return true;
  log.error(radius_text::kSecretTooLong, kMaxSecret);
  return false;
}

}  // namespace

std::optional<PendingRequest> build_access_request(Log& log, Env& env, const AccessRequest& fields,
                                                   const SharedSecret& secret, std::uint8_t identifier,
                                                   std::span<std::uint8_t> out, std::int32_t& length) {
  length = 0;
  if (fields.user.size() > static_cast<std::size_t>(kMaxUserName)) {
    log.error(radius_text::kNameTooLong, length_for_log(fields.user.size()), kMaxUserName);
    return std::nullopt;
  }
  if (fields.password.size() > static_cast<std::size_t>(kMaxPassword)) {
    log.error(radius_text::kPasswordTooLong, length_for_log(fields.password.size()), kMaxPassword);
    return std::nullopt;
  }
  if (!usable_secret(log, secret)) return std::nullopt;

  PacketWriter packet(out);
  const std::optional<PendingRequest> request =
      begin_request(log, env, packet, kAccessRequest, identifier, fields.signed_request);
  if (!request) return std::nullopt;
  std::array<std::uint8_t, kMaxPassword> hidden;
  const std::size_t hidden_length = hide_password(fields.password, secret, request->authenticator, hidden);
  packet.put_attribute(kUserName, bytes_of(fields.user));
  packet.put_attribute(kUserPassword, std::span<const std::uint8_t>(hidden.data(), hidden_length));
  packet.put_u32_attribute(kNasPort, fields.nas_port);
  put_nas_address(packet, fields.nas_address);
  if (fields.nas_identifier) packet.put_attribute(kNasIdentifier, bytes_of(*fields.nas_identifier));
  if (fields.calling_station_id) {
    packet.put_attribute(kCallingStationId, bytes_of(fields.calling_station_id->substr(0, kMaxAttributeText)));
  }
  if (!finish_request(log, packet, *request, secret, length, fields.signed_request)) return std::nullopt;
  return request;
}

std::optional<PendingRequest> build_status_server(Log& log, Env& env, std::optional<IpAddress> nas_address,
                                                  std::optional<std::string_view> nas_identifier,
                                                  const SharedSecret& secret, std::uint8_t identifier,
                                                  std::span<std::uint8_t> out, std::int32_t& length) {
  length = 0;
  if (!usable_secret(log, secret)) return std::nullopt;
  PacketWriter packet(out);
  const std::optional<PendingRequest> request = begin_request(log, env, packet, kStatusServer, identifier);
  if (!request) return std::nullopt;
  put_nas_address(packet, nas_address);
  if (nas_identifier) packet.put_attribute(kNasIdentifier, bytes_of(nas_identifier->substr(0, kMaxAttributeText)));
  if (!finish_request(log, packet, *request, secret, length)) return std::nullopt;
  return request;
}

void decode_attributes(Log& log, std::span<const std::uint8_t> reply, int collect_code, VsaFormat vsa_format,
                       UserRecord* record) {
  const int end = static_cast<int>(std::min<std::size_t>(reply.size(), kMaxDatagram));
  int at = kHeaderSize;
  while (at < end) {
    const int type = reply[at];
    if (end - at < 2) {
      log.error(radius_text::kAttributePastEnd, type);
      return;
    }
    const int length = reply[at + 1];
    if (length < 2) return;
    if (length > end - at) {
      log.error(radius_text::kAttributePastEnd, type);
      return;
    }
    const int value_length = length - 2;
    const std::span<const std::uint8_t> value = reply.subspan(static_cast<std::size_t>(at + 2),
                                                              static_cast<std::size_t>(value_length));
    at += length;

    const std::optional<AttributeDef> row = dictionary_find(type);
    if (!row) {
      // Message-Authenticator is checked by verify_reply and carries no text.
      if (type != kMessageAuthenticator) log.error(radius_text::kUnknownAttribute, type);
      continue;
    }
    if (value_length >= kMaxAttributeValue) {
      log.error(radius_text::kAttributeTooLong, type, value_length, kMaxAttributeValue);
      continue;
    }
    switch (row->type) {
      case ATTR_STRING:
        if (record == nullptr || row->code != collect_code) break;
        if (type == kVendorSpecific && vsa_format == VsaFormat::standard) {
          collect_vendor_texts(log, record->extra, value);
        } else {
          collect_text(record->extra, std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
        }
        break;
      case ATTR_INTEGER:
      case ATTR_IPADDR:
        break;
      default:
        log.error(radius_text::kAttributeOfUnknownType, row->name, static_cast<int>(row->type));
        break;
    }
  }
}

ReplyCheck verify_reply(Log& log, std::span<const std::uint8_t> reply, const PendingRequest& request,
                        const ReplyRules& rules, UserRecord* record) {
  const auto refuse = [record](ReplyVerdict verdict) {
    free_user_record(record);
    return ReplyCheck{verdict, false};
  };
  // The Length field is read only from a whole header.
  if (reply.size() < static_cast<std::size_t>(kHeaderSize) || reply.size() > static_cast<std::size_t>(kMaxDatagram) ||
      ((reply[2] << 8) | reply[3]) != static_cast<int>(reply.size())) {
    return refuse(ReplyVerdict::bad_length);
  }

  // A reply to an earlier request (one that timed out) is not an error: its
  // authenticator cannot match the current request's, so it is dropped
  // before that test and the caller waits for the next datagram.
  if (reply[1] != request.identifier) return refuse(ReplyVerdict::other_request);

  // Response Authenticator: MD5 over the reply with the request authenticator
  // in place of its own, followed by the secret, fed in pieces.
  std::uint8_t digest[kMd5DigestSize];
  md5_of({reply.first(4), request.authenticator, reply.subspan(kHeaderSize), bytes_of(rules.secret->text())}, digest);
  if (std::memcmp(digest, reply.data() + 4, kAuthenticatorSize) != 0) return refuse(ReplyVerdict::bad_digest);

  // Message-Authenticator, wherever it stands; a reply with more than one is
  // refused, since either could be the one a forger placed.
  const MessageAuthenticatorSearch found = find_message_authenticators(reply);
  if (found.count > 1 || !found.well_formed) return refuse(ReplyVerdict::bad_message_authenticator);
  if (found.count == 1) {
    const auto expected = message_authenticator(*rules.secret, reply, request.authenticator, found.value_at);
    if (!equal_in_constant_time(expected, reply.subspan(found.value_at, kMessageAuthenticatorSize))) {
      return refuse(ReplyVerdict::bad_message_authenticator);
    }
  } else if (rules.require_message_authenticator) {
    return refuse(ReplyVerdict::missing_message_authenticator);
  }

  // Only these three answer a request (RFC 2865 section 4): anything else,
  // even correctly signed, is dropped like any datagram that is no answer.
  const int code = reply[0];
  if (code != kAccessAccept && code != kAccessReject && code != kAccessChallenge) {
    return refuse(ReplyVerdict::not_an_answer);
  }
  decode_attributes(log, reply, rules.collect_code, rules.vsa_format, record);
  const bool signed_message = found.count == 1;
  if (code == kAccessAccept) return {ReplyVerdict::accepted, signed_message};
  free_user_record(record);
  return {ReplyVerdict::refused, signed_message};
}

std::string reply_message_text(std::span<const std::uint8_t> reply) {
  std::string text;
  const std::size_t end = std::min<std::size_t>(reply.size(), kMaxDatagram);
  for (std::size_t at = kHeaderSize; at + 2 <= end;) {
    const std::size_t length = reply[at + 1];
    if (length < 2 || at + length > end) break;
    if (reply[at] == kReplyMessage) {
      if (!text.empty()) text += ' ';
      for (std::size_t i = at + 2; i < at + length; ++i) {
        const char c = static_cast<char>(reply[i]);
        text += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
      }
    }
    at += length;
  }
  return text;
}

}  // namespace vantorix
