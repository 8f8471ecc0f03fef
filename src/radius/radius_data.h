// The RADIUS backend's one process-wide record: its settings, its socket and
// the exchange in progress, each a struct of its own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/udp_socket.h"

namespace vantorix {

inline constexpr int kMaxDatagram = 8192;
inline constexpr int kMaxSecret = 496;  // longest shared secret taken
inline constexpr int kAuthenticatorSize = 16;

/// Default server port when "radius_port" is not given.
inline constexpr std::int32_t kDefaultRadiusPort = 1645;
/// Shared secret in force until "radius_secret" sets one.
inline constexpr const char* kDefaultSecret = "set one first";

/// The backend's keys of the configuration file.
struct RadiusSettings {
  std::optional<std::string> host = "localhost";      // "radius_host"
  std::int32_t port = kDefaultRadiusPort;             // "radius_port"
  std::optional<std::string> secret = kDefaultSecret;  // "radius_secret"
  std::optional<std::string> attribute;                // "radius_attribute": stored only
};

/// The socket and the server it reaches; only an open sets these.
struct RadiusConnection {
  SocketHandle sock = kNoSocket;
  std::uint32_t server_ip = 0;     // resolved server address, host order
  std::int32_t server_port = 0;    // UDP port actually used for the server
  Ipv4Endpoint server_addr;        // where requests go
  std::uint32_t nas_ip = 0;        // this machine's address
  std::int32_t bind_port = 0;      // local port counter of the bind search
};

/// What a reply is checked against: the request that was sent.
struct PendingRequest {
  std::uint8_t identifier = 0;
  std::array<std::uint8_t, kAuthenticatorSize> authenticator{};
};

/// The request being answered and the datagram being read.
struct RadiusExchange {
  std::int32_t request_counter = 0;  // requests built since start
  PendingRequest request;            // the latest request built
  std::int32_t collect_code = 0;     // attribute code whose texts reach the answer
  std::array<std::uint8_t, kMaxDatagram> send_buf{};
  std::int32_t send_len = 0;
  std::array<std::uint8_t, kMaxDatagram> recv_buf{};
  std::int32_t recv_len = 0;         // result of the latest receive: a byte count, 0 or negative
};

struct RadiusData {
  RadiusSettings settings;
  RadiusConnection connection;
  RadiusExchange exchange;
};

/// The process-wide record; `radius_init` resets it.
RadiusData& radius_data();

}  // namespace vantorix
