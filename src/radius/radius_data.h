// The RADIUS backend's one process-wide record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/udp_socket.h"

namespace vantorix {

inline constexpr int kMaxDatagram = 8192;
inline constexpr int kMaxSecret = 496;  // secret + 16-byte authenticator fill a 512-byte area

struct RadiusData {
  std::optional<std::string> host;       // "radius_host"
  std::int32_t port = 0;                 // "radius_port"
  std::uint32_t server_ip = 0;           // resolved server address, host order
  std::int32_t server_port = 0;          // UDP port actually used for the server
  SocketHandle sock = kNoSocket;
  std::int32_t bind_port = 0;            // local port counter of the bind search
  std::optional<std::string> secret;     // "radius_secret"
  std::optional<std::string> attribute;  // "radius_attribute": stored only
  std::int32_t last_identifier = 0;      // identifier of the latest request
  std::int32_t collect_code = 0;         // attribute code whose texts reach the answer
  Ipv4Endpoint server_addr;              // where requests go; only the open sets it
  std::uint32_t nas_ip = 0;              // this machine's address, found when the socket opens
  std::int32_t request_counter = 0;      // requests built
  std::array<std::uint8_t, 16> request_authenticator{};
  std::array<std::uint8_t, kMaxDatagram> send_buf{};
  std::int32_t send_len = 0;
  std::array<std::uint8_t, kMaxDatagram + kMaxSecret> recv_buf{};  // reply, then room for the secret
  std::int32_t recv_len = 0;
};

/// The process-wide record; `radius_init` resets it.
RadiusData& radius_data();

}  // namespace vantorix
