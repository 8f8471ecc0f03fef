// A scriptable RADIUS server for tests, on 127.0.0.1 (or ::1) at a port of
// the system's choosing. It answers each datagram it receives with whatever
// datagrams the test's handler returns: correct replies, replies with a wrong
// authenticator, identifier, Length field or Message-Authenticator, replies
// from another port, or nothing at all. It runs on a thread of its own until
// destroyed; given a FakeEnv, it is one of the peers that environment waits
// for, and its delays and times are the environment's virtual ones.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "fake_env.h"
#include "platform/network.h"

namespace vantorix::testing {

/// An Access-Request as the server received it, with its attributes read.
struct RadiusRequest {
  std::vector<std::uint8_t> bytes;
  std::uint8_t code = 0;
  std::uint8_t identifier = 0;
  std::array<std::uint8_t, 16> authenticator{};
  std::vector<int> attribute_types;  // in the order they stand in the packet
  std::string user_name;
  std::string password;              // User-Password revealed with the secret, zero fill removed
  std::size_t hidden_password_size = 0;  // bytes of the User-Password value
  std::uint32_t nas_port = 0;
  std::uint32_t nas_ip = 0;          // host byte order
  std::string nas_ipv6;              // the 16 bytes of NAS-IPv6-Address, when sent
  std::string nas_identifier;
  std::string calling_station_id;
  /// Message-Authenticator: absent, or whether it is right for the secret.
  std::optional<bool> message_authenticator_valid;
  std::chrono::steady_clock::time_point received_at;
};

/// How a reply carries Message-Authenticator.
enum class ReplyMessageAuthenticator {
  none,
  valid,      // one, right, as the last attribute
  valid_first,  // one, right, as the first attribute
  wrong,      // one, with a spoilt value
  doubled,    // two, both with the right value
};

/// How to make one reply to a request.
struct ReplySpec {
  std::uint8_t code = 2;
  std::optional<std::uint8_t> identifier;    // default: the request's
  std::vector<std::uint8_t> attributes;      // raw attribute bytes, see radius_attribute
  bool wrong_authenticator = false;          // spoil the Response Authenticator
  std::optional<std::uint16_t> length_field; // default: the datagram's real size
  ReplyMessageAuthenticator message_authenticator = ReplyMessageAuthenticator::none;
};

/// One datagram to send back.
struct FakeDatagram {
  std::vector<std::uint8_t> bytes;
  bool from_other_port = false;  // sent from a second socket of the server
  std::chrono::milliseconds delay{0};  // sent this long after the request came (a slow back end)
};

/// One attribute: type, length (value size + 2) and the value bytes.
std::vector<std::uint8_t> radius_attribute(std::uint8_t type, std::string_view value);
/// The same with an explicit length byte, which may disagree with the value.
std::vector<std::uint8_t> radius_attribute_with_length(std::uint8_t type, std::uint8_t length,
                                                        std::string_view value);

/// MD5 of `data`, from the program's own digest.
std::array<std::uint8_t, 16> md5_of(std::string_view data);

inline constexpr std::uint8_t kStatusServerCode = 12;

class FakeRadiusServer final : private FakePeer {
 public:
  using Handler = std::function<std::vector<FakeDatagram>(const RadiusRequest&, const FakeRadiusServer&)>;

  /// Starts answering at once, on 127.0.0.1, or on ::1 when `ipv6` is set.
  /// Without a handler every request is accepted.
  explicit FakeRadiusServer(std::string secret, Handler handler = {}, bool ipv6 = false);
  /// The same on the virtual time of `env`.
  FakeRadiusServer(FakeEnv& env, std::string secret, Handler handler = {}, bool ipv6 = false);
  ~FakeRadiusServer() override;
  FakeRadiusServer(const FakeRadiusServer&) = delete;
  FakeRadiusServer& operator=(const FakeRadiusServer&) = delete;

  /// The port the server listens on (127.0.0.1).
  std::uint16_t port() const { return port_; }
  /// The port that datagrams marked from_other_port come from.
  std::uint16_t other_port() const { return other_port_; }
  /// True when both sockets were set up.
  bool ready() const { return socket_ != kNoSocket && other_socket_ != kNoSocket; }

  /// Every request received so far but Status-Server, oldest first.
  std::vector<RadiusRequest> requests() const;
  /// Every Status-Server received so far, oldest first. The handler sees
  /// them as it sees the other requests; without a handler they are answered.
  std::vector<RadiusRequest> status_requests() const;

  /// A reply to `request` built as `spec` says, with the Response
  /// Authenticator of RFC 2865 over the secret (unless spoilt).
  std::vector<std::uint8_t> make_reply(const RadiusRequest& request, const ReplySpec& spec) const;
  /// One correct reply with `code` and `attributes`.
  std::vector<FakeDatagram> answer(const RadiusRequest& request, std::uint8_t code,
                                   std::vector<std::uint8_t> attributes = {}) const;

  /// Sends `bytes` from the server's main socket to the loopback address at `port`.
  void send_to(std::uint16_t port, const std::vector<std::uint8_t>& bytes, bool from_other_port = false) const;

  const std::string& secret() const { return secret_; }

 private:
  void serve();
  void send_due();
  std::chrono::steady_clock::time_point now() const;
  bool settled(std::int64_t now) const override;
  std::optional<std::int64_t> next_due() const override;
  RadiusRequest parse(const std::uint8_t* data, std::size_t size) const;

  std::string secret_;
  Handler handler_;
  bool ipv6_ = false;
  SocketHandle socket_ = kNoSocket;
  SocketHandle other_socket_ = kNoSocket;
  std::uint16_t port_ = 0;
  std::uint16_t other_port_ = 0;
  FakeEnv* env_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> busy_{false};  // a datagram taken and not yet answered
  mutable std::mutex mutex_;
  std::vector<RadiusRequest> requests_;
  // Delayed datagrams: when, to which port, what. Only the serving thread
  // changes them; under `mutex_`.
  std::vector<std::tuple<std::chrono::steady_clock::time_point, std::uint16_t, FakeDatagram>> delayed_;
  std::thread thread_;
};

}  // namespace vantorix::testing
