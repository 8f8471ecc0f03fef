#include "fake_radius_server.h"

#include <algorithm>

#include "platform/udp_socket.h"
#include "radius/md5.h"

namespace vantorix::testing {
namespace {

constexpr int kHeaderSize = 20;
constexpr int kPollMilliseconds = 20;

constexpr std::uint8_t kMessageAuthenticator = 80;

AddressFamily family_of(bool ipv6) { return ipv6 ? AddressFamily::ipv6 : AddressFamily::ipv4; }

// A UDP socket bound to the loopback address at a port of the system's
// choosing. The server speaks through the program's own socket layer, so
// that it runs wherever the program does.
SocketHandle open_loopback_socket(bool ipv6, std::uint16_t& port) {
  const AddressFamily family = family_of(ipv6);
  const SocketHandle socket = udp_socket_open(family);
  if (socket == kNoSocket) return kNoSocket;
  std::optional<Endpoint> local;
  if (!udp_socket_bind(socket, {loopback_address(family), 0}) || !(local = udp_socket_local_endpoint(socket))) {
    udp_socket_close(socket);
    return kNoSocket;
  }
  port = local->port;
  return socket;
}

void send_datagram(SocketHandle socket, bool ipv6, std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
  udp_send_to(socket, bytes, {loopback_address(family_of(ipv6)), port});
}

// HMAC-MD5 keyed with `secret` over `packet` with `authenticator` in the
// authenticator field and the 16 bytes at `value_at` zero (RFC 3579 3.2).
std::array<std::uint8_t, 16> message_authenticator(const std::string& secret, std::vector<std::uint8_t> packet,
                                                   const std::array<std::uint8_t, 16>& authenticator,
                                                   std::size_t value_at) {
  std::copy(authenticator.begin(), authenticator.end(), packet.begin() + 4);
  const auto value = packet.begin() + static_cast<std::ptrdiff_t>(value_at);
  std::fill(value, value + 16, 0);
  HmacMd5 hmac({reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size()});
  hmac.update(packet);
  std::array<std::uint8_t, 16> code{};
  hmac.final(code.data());
  return code;
}

std::uint32_t read_u32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

std::vector<std::uint8_t> radius_attribute(std::uint8_t type, std::string_view value) {
  return radius_attribute_with_length(type, static_cast<std::uint8_t>(value.size() + 2), value);
}

std::vector<std::uint8_t> radius_attribute_with_length(std::uint8_t type, std::uint8_t length,
                                                        std::string_view value) {
  std::vector<std::uint8_t> bytes(2 + value.size());
  bytes[0] = type;
  bytes[1] = length;
  std::copy(value.begin(), value.end(), bytes.begin() + 2);
  return bytes;
}

std::array<std::uint8_t, 16> md5_of(std::string_view data) {
  std::array<std::uint8_t, 16> digest{};
  md5_digest(digest.data(), reinterpret_cast<const std::uint8_t*>(data.data()),
             static_cast<std::int32_t>(data.size()));
  return digest;
}

FakeRadiusServer::FakeRadiusServer(std::string secret, Handler handler, bool ipv6)
    : secret_(std::move(secret)), handler_(std::move(handler)), ipv6_(ipv6) {
  if (!handler_) {
    handler_ = [](const RadiusRequest& request, const FakeRadiusServer& server) {
      return server.answer(request, 2);
    };
  }
  socket_ = open_loopback_socket(ipv6_, port_);
  other_socket_ = open_loopback_socket(ipv6_, other_port_);
  if (ready()) thread_ = std::thread([this] { serve(); });
}

FakeRadiusServer::FakeRadiusServer(FakeEnv& env, std::string secret, Handler handler, bool ipv6)
    : FakeRadiusServer(std::move(secret), std::move(handler), ipv6) {
  env_ = &env;
  env.add_peer(this);
}

FakeRadiusServer::~FakeRadiusServer() {
  if (env_ != nullptr) env_->remove_peer(this);
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (socket_ != kNoSocket) udp_socket_close(socket_);
  if (other_socket_ != kNoSocket) udp_socket_close(other_socket_);
}

std::vector<RadiusRequest> FakeRadiusServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RadiusRequest> access;
  for (const RadiusRequest& request : requests_) {
    if (request.code != kStatusServerCode) access.push_back(request);
  }
  return access;
}

std::vector<RadiusRequest> FakeRadiusServer::status_requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RadiusRequest> status;
  for (const RadiusRequest& request : requests_) {
    if (request.code == kStatusServerCode) status.push_back(request);
  }
  return status;
}

std::chrono::steady_clock::time_point FakeRadiusServer::now() const {
  if (env_ == nullptr) return std::chrono::steady_clock::now();
  return std::chrono::steady_clock::time_point(std::chrono::milliseconds(env_->now_ms()));
}

void FakeRadiusServer::send_due() {
  const auto at = now();
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = delayed_.begin(); it != delayed_.end();) {
    if (std::get<0>(*it) > at) {
      ++it;
      continue;
    }
    send_to(std::get<1>(*it), std::get<2>(*it).bytes, std::get<2>(*it).from_other_port);
    it = delayed_.erase(it);
  }
}

// The socket is looked at before `busy_`: the thread marks itself busy
// before it takes a datagram, and idle only after its answers have gone.
bool FakeRadiusServer::settled(std::int64_t now) const {
  if (udp_wait_readable(socket_, 0) == WaitResult::readable || busy_) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto at = std::chrono::steady_clock::time_point(std::chrono::milliseconds(now));
  return std::none_of(delayed_.begin(), delayed_.end(),
                      [at](const auto& delayed) { return std::get<0>(delayed) <= at; });
}

std::optional<std::int64_t> FakeRadiusServer::next_due() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<std::int64_t> first;
  for (const auto& delayed : delayed_) {
    const std::int64_t due =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::get<0>(delayed).time_since_epoch()).count();
    if (!first || due < *first) first = due;
  }
  return first;
}

void FakeRadiusServer::serve() {
  std::vector<std::uint8_t> buffer(65536);
  while (!stop_) {
    send_due();
    if (udp_wait_readable(socket_, env_ != nullptr ? 1 : kPollMilliseconds) != WaitResult::readable) continue;
    busy_ = true;
    Endpoint from;
    const int got = udp_receive_from(socket_, buffer, &from);
    if (got < kHeaderSize) {
      busy_ = false;
      continue;
    }
    RadiusRequest request = parse(buffer.data(), static_cast<std::size_t>(got));
    request.received_at = now();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    for (const FakeDatagram& datagram : handler_(request, *this)) {
      if (datagram.delay.count() > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        delayed_.emplace_back(request.received_at + datagram.delay, from.port, datagram);
      } else {
        send_to(from.port, datagram.bytes, datagram.from_other_port);
      }
    }
    busy_ = false;
  }
}

RadiusRequest FakeRadiusServer::parse(const std::uint8_t* data, std::size_t size) const {
  RadiusRequest request;
  request.bytes.assign(data, data + size);
  request.code = data[0];
  request.identifier = data[1];
  std::copy(data + 4, data + kHeaderSize, request.authenticator.begin());
  std::size_t at = kHeaderSize;
  while (at + 2 <= size) {
    const std::uint8_t type = data[at];
    const std::size_t length = data[at + 1];
    if (length < 2 || at + length > size) break;
    const std::uint8_t* value = data + at + 2;
    const std::size_t value_size = length - 2;
    request.attribute_types.push_back(type);
    if (type == 1) {
      request.user_name.assign(reinterpret_cast<const char*>(value), value_size);
    } else if (type == 2) {
      // RFC 2865 section 5.2: b1 = MD5(S + RA), b(i) = MD5(S + c(i-1)).
      request.hidden_password_size = value_size;
      std::string previous(request.authenticator.begin(), request.authenticator.end());
      for (std::size_t block = 0; block + 16 <= value_size; block += 16) {
        std::array<std::uint8_t, 16> pad = md5_of(secret_ + previous);
        for (std::size_t i = 0; i < 16; ++i) request.password.push_back(static_cast<char>(value[block + i] ^ pad[i]));
        previous.assign(reinterpret_cast<const char*>(value + block), 16);
      }
      while (!request.password.empty() && request.password.back() == '\0') request.password.pop_back();
    } else if (type == 4 && value_size == 4) {
      request.nas_ip = read_u32(value);
    } else if (type == 5 && value_size == 4) {
      request.nas_port = read_u32(value);
    } else if (type == 95 && value_size == 16) {
      request.nas_ipv6.assign(reinterpret_cast<const char*>(value), value_size);
    } else if (type == 32) {
      request.nas_identifier.assign(reinterpret_cast<const char*>(value), value_size);
    } else if (type == 31) {
      request.calling_station_id.assign(reinterpret_cast<const char*>(value), value_size);
    } else if (type == kMessageAuthenticator && value_size == 16) {
      const auto expected = message_authenticator(secret_, request.bytes, request.authenticator, at + 2);
      request.message_authenticator_valid = std::equal(expected.begin(), expected.end(), value);
    }
    at += length;
  }
  return request;
}

std::vector<std::uint8_t> FakeRadiusServer::make_reply(const RadiusRequest& request, const ReplySpec& spec) const {
  // Message-Authenticators are placed with a zero value and filled in below,
  // before the Response Authenticator, which covers them.
  const std::vector<std::uint8_t> zero_ma = radius_attribute(kMessageAuthenticator, std::string(16, '\0'));
  std::vector<std::uint8_t> attributes;
  std::vector<std::size_t> ma_offsets;  // of the values, from the start of the reply
  const auto add_ma = [&] {
    ma_offsets.push_back(kHeaderSize + attributes.size() + 2);
    attributes.insert(attributes.end(), zero_ma.begin(), zero_ma.end());
  };
  using Mode = ReplyMessageAuthenticator;
  if (spec.message_authenticator == Mode::valid_first || spec.message_authenticator == Mode::doubled) add_ma();
  attributes.insert(attributes.end(), spec.attributes.begin(), spec.attributes.end());
  if (spec.message_authenticator == Mode::valid || spec.message_authenticator == Mode::wrong ||
      spec.message_authenticator == Mode::doubled) {
    add_ma();
  }
  std::vector<std::uint8_t> reply(kHeaderSize + attributes.size());
  reply[0] = spec.code;
  reply[1] = spec.identifier.value_or(request.identifier);
  std::copy(attributes.begin(), attributes.end(), reply.begin() + kHeaderSize);
  const std::uint16_t length = spec.length_field.value_or(static_cast<std::uint16_t>(reply.size()));
  reply[2] = static_cast<std::uint8_t>(length >> 8);
  reply[3] = static_cast<std::uint8_t>(length & 0xFF);
  if (!ma_offsets.empty()) {
    // Every one carries the value computed with all of them zero.
    const auto code = message_authenticator(secret_, reply, request.authenticator, ma_offsets.front());
    for (std::size_t at : ma_offsets) std::copy(code.begin(), code.end(), reply.begin() + static_cast<std::ptrdiff_t>(at));
    if (spec.message_authenticator == Mode::wrong) reply[ma_offsets.front()] ^= 0x01;
  }
  // Response Authenticator = MD5(Code + ID + Length + Request Authenticator + Attributes + Secret).
  std::copy(request.authenticator.begin(), request.authenticator.end(), reply.begin() + 4);
  std::string signed_bytes(reply.begin(), reply.end());
  std::array<std::uint8_t, 16> digest = md5_of(signed_bytes + secret_);
  if (spec.wrong_authenticator) digest[0] ^= 0x5A;
  std::copy(digest.begin(), digest.end(), reply.begin() + 4);
  return reply;
}

std::vector<FakeDatagram> FakeRadiusServer::answer(const RadiusRequest& request, std::uint8_t code,
                                                   std::vector<std::uint8_t> attributes) const {
  ReplySpec spec;
  spec.code = code;
  spec.attributes = std::move(attributes);
  return {FakeDatagram{make_reply(request, spec)}};
}

void FakeRadiusServer::send_to(std::uint16_t port, const std::vector<std::uint8_t>& bytes, bool from_other_port) const {
  send_datagram(from_other_port ? other_socket_ : socket_, ipv6_, port, bytes);
}

}  // namespace vantorix::testing
