// The RADIUS backend's record: its settings, its servers
// (each with its socket and its health) and the exchange in progress, each a
// struct of its own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network.h"
#include "radius/shared_secret.h"
#include "transport/tls_stream.h"

namespace vantorix {

inline constexpr int kMaxDatagram = 8192;
inline constexpr int kMaxSecret = 496;  // longest shared secret taken
inline constexpr int kAuthenticatorSize = 16;

/// Default server port when "radius_port" is not given.
inline constexpr std::int32_t kDefaultRadiusPort = 1645;
/// Shared secret in force until "radius_secret" sets one.
inline constexpr const char* kDefaultSecret = "set one first";
/// Over TLS (RFC 6614): the default port, and the shared secret unless
/// "radius_secret" sets one.
inline constexpr std::uint16_t kDefaultTlsPort = 2083;
inline constexpr const char* kDefaultTlsSecret = "radsec";

/// "radius_transport".
enum class Transport { udp, tls };

/// "radius_require_message_authenticator".
enum class MessageAuthenticatorPolicy {
  no,         // a reply's Message-Authenticator is checked when present
  yes,        // and a reply without one is dropped
  automatic,  // "auto": as yes for a server once it has sent a valid one
};

/// "radius_server_order": which server of the list a check asks first.
enum class ServerOrder {
  failover,  // the first live one in list order
  balance,   // from the one this process's id picks, in ring order
};

/// "radius_vsa_format": how the texts of Vendor-Specific attributes are read.
enum class VsaFormat {
  raw,       // the whole value is the text
  standard,  // vendor id, then sub-attributes, each value a text (RFC 2865 section 5.26)
};

/// The backend's keys of the configuration file.
struct RadiusSettings {
  std::optional<std::string> host = "localhost";      // "radius_host": one server or a comma-separated list
  std::int32_t port = kDefaultRadiusPort;             // "radius_port": of entries that name none
  std::optional<std::string> secret = kDefaultSecret;  // "radius_secret"
  std::optional<std::string> attribute;                // "radius_attribute": stored only
  int retries = 2;                                     // "radius_retries": copies after the first
  int timeout_seconds = 10;                            // "radius_timeout": one server's wait
  int dead_time_seconds = 30;                          // "radius_dead_time": 0 turns the memory off
  MessageAuthenticatorPolicy require_message_authenticator = MessageAuthenticatorPolicy::automatic;
  std::optional<std::string> nas_identifier;           // "radius_nas_identifier": sent as NAS-Identifier
  bool calling_station_id = false;                     // "radius_calling_station_id"
  VsaFormat vsa_format = VsaFormat::raw;               // "radius_vsa_format"
  ServerOrder server_order = ServerOrder::failover;    // "radius_server_order"
  Transport transport = Transport::udp;                // "radius_transport"
  TlsFiles tls_files;                                  // "radius_tls_ca", "radius_tls_cert", "radius_tls_key"
  std::optional<std::string> tls_server_name;          // "radius_tls_server_name": default the host as written
  bool port_configured = false;                        // a "radius_port" line was read
  bool secret_configured = false;                      // a "radius_secret" line was read
};

/// The shared secret in force: "radius_secret", or without one the default
/// of the transport.
std::string_view effective_secret(const RadiusSettings& settings);

/// What a server has done for the checks so far, for `info`.
struct ServerCounts {
  std::int64_t requests = 0;   // requests sent (copies not counted)
  std::int64_t accepts = 0;
  std::int64_t rejects = 0;
  std::int64_t no_reply = 0;   // requests without a valid reply
  std::int64_t last_round_trip_ms = -1;  // of the last valid reply; -1: none yet
};

/// What a reply is checked against: the request that was sent.
struct PendingRequest {
  std::uint8_t identifier = 0;
  std::array<std::uint8_t, kAuthenticatorSize> authenticator{};
};

/// Whether a server answers Status-Server (RFC 5997), as learnt from the one
/// sent beside its first request.
enum class StatusServerSupport { unknown, answers, ignores };

/// One server of the list, with its socket and its health.
struct RadiusServer {
  std::string name;                  // the entry as written in "radius_host"
  std::string tls_name;              // what its certificate must name, over TLS
  Endpoint endpoint;                 // where its requests go
  SocketHandle sock = kNoSocket;     // connected to `endpoint` (UDP)
  std::unique_ptr<TlsStream> tls;    // the connection to `endpoint` (TLS)
  std::optional<IpAddress> nas_address;  // this machine as the requests to it name it
  /// Monotonic time the server is marked dead until; 0: live. One that
  /// answers Status-Server stays dead after it until it answers a probe.
  std::int64_t dead_until_ms = 0;
  bool sends_message_authenticator = false;  // has sent a valid one
  std::optional<std::array<std::uint8_t, kAuthenticatorSize>> last_answer;  // Response Authenticator taken last
  StatusServerSupport status_server = StatusServerSupport::unknown;
  bool status_server_asked = false;           // the Status-Server beside the first request has gone
  std::optional<PendingRequest> status_pending;  // the Status-Server sent last, until answered
  std::optional<PendingRequest> request_pending;  // the Access-Request sent last, while its answer counts
  std::int64_t last_probe_ms = -1;            // monotonic time of the last revival probe; -1: none
  std::string tls_failure_logged;             // the TLS failure logged last, not logged again until an answer
  ServerCounts counts;
};

/// The servers the sockets are open to, in list order; empty when closed.
struct RadiusConnection {
  std::vector<RadiusServer> servers;
  std::size_t first_server = 0;           // where the asking order starts ("radius_server_order")
  SharedSecret secret;                    // the shared secret in force while open
  std::unique_ptr<TlsClient> tls_client;  // over TLS: the settings all connections share
  bool open() const { return !servers.empty(); }
};

/// The request being answered and the datagram being read.
struct RadiusExchange {
  std::int32_t request_counter = 0;  // requests built since start
  PendingRequest request;            // the latest request built
  std::int32_t collect_code = 0;     // attribute code whose texts reach the answer
  std::array<std::uint8_t, kMaxDatagram> send_buf{};
  std::int32_t send_len = 0;
  std::array<std::uint8_t, kMaxDatagram> recv_buf{};
  std::int32_t recv_len = 0;                // result of the latest receive: a byte count, 0 or negative
  std::vector<SocketHandle> listening;      // the sockets of one wait
};

struct RadiusData {
  RadiusSettings settings;
  RadiusConnection connection;
  RadiusExchange exchange;
};

}  // namespace vantorix
