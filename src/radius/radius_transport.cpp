#include "radius/radius_transport.h"

#include <algorithm>
#include <cstdarg>
#include <string>
#include <vector>

#include "logging/log.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/udp_socket.h"
#include "radius/radius_texts.h"
#include "radius/retransmission.h"
#include "text/text_format.h"
#include "transport/socket_error_text.h"

namespace vantorix {
namespace {

constexpr std::uint16_t kFallbackServerPort = 1645;  // when the services database has no "radius"
constexpr int kOpenFailureSize = 4096;
constexpr int kMaxGroupDigits = 3;

// A failed open: the text goes to the error log and back to the caller,
// who may tell the parent.
std::string open_failed(Log& log, const char* format, ...) VANTORIX_PRINTF(2, 3);
std::string open_failed(Log& log, const char* format, ...) {
  char text[kOpenFailureSize];
  va_list args;
  va_start(args, format);
  text_vformat(text, sizeof text, format, args);
  va_end(args);
  log.error("%s", text);
  return text;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Link-local addresses (fe80::/10) mean nothing to a server elsewhere.
bool is_link_local(const IpAddress& address) {
  return address.family == AddressFamily::ipv6 && address.bytes[0] == 0xfe && (address.bytes[1] & 0xc0) == 0x80;
}

// Opens the server's socket, connected to it; false (logged) when that fails.
bool open_socket(Log& log, RadiusServer& server, std::uint32_t nas_ipv4) {
  server.sock = udp_socket_open(server.endpoint.address.family);
  if (server.sock == kNoSocket) return false;
  log.message(radius_text::kBinding);
  const std::optional<Endpoint> local =
      udp_socket_connect(server.sock, server.endpoint) ? udp_socket_local_endpoint(server.sock) : std::nullopt;
  if (!local) {
    log.error(radius_text::kConnectFailed, endpoint_text(server.endpoint).c_str(), socket_error_line().c_str());
    udp_socket_close(server.sock);
    server.sock = kNoSocket;
    return false;
  }
  log.message(radius_text::kBound, static_cast<int>(local->port));
  // Over IPv6 the request names the address this socket sends from.
  if (server.endpoint.address.family == AddressFamily::ipv4) {
    server.nas_address = IpAddress::v4(nas_ipv4);
  } else if (!is_link_local(local->address)) {
    server.nas_address = local->address;
  }
  return true;
}

// One line for the log and the parent: no line break of a library's text
// may split it.
std::string one_line(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

// Over TLS: the connection made when the program opens its servers. A server
// that cannot be reached now is logged and counted dead, and later checks
// try it again.
void open_connection(Log& log, RadiusServer& server, const TlsClient& client, const RadiusSettings& settings,
                     Env& env) {
  server.tls = std::make_unique<TlsStream>(env);
  log.message(radius_text::kBinding);
  if (server.tls->open(client, server.endpoint, server.tls_name, env.now_ms() + kDeadServerWaitMs) == TlsResult::ok) {
    log.message(radius_text::kTlsConnected, endpoint_text(server.endpoint).c_str());
    return;
  }
  server.tls_failure_logged = tls_failure_text(server, server.tls->error());
  log.error("%s", server.tls_failure_logged.c_str());
  if (settings.dead_time_seconds > 0) {
    server.dead_until_ms = env.now_ms() + settings.dead_time_seconds * std::int64_t{1000};
  }
}

// The server "radius_server_order balance" asks first: the one the process
// id picks, so that the helpers of one host start at different servers.
std::size_t balanced_first(const RadiusConnection& connection, int process_id) {
  const std::size_t count = connection.servers.size();
  return count == 0 ? 0 : static_cast<std::size_t>(process_id) % count;
}

}  // namespace

std::string tls_failure_text(const RadiusServer& server, const std::string& reason) {
  char text[kOpenFailureSize];
  text_format(text, sizeof text, radius_text::kTlsFailed, endpoint_text(server.endpoint).c_str(),
              tls_reason(server, reason).c_str());
  return text;
}

std::string tls_reason(const RadiusServer& server, const std::string& reason) {
  std::string text = one_line(reason);
  // The verification texts of the TLS library for a name or an address the
  // certificate does not carry.
  if (text.find("hostname mismatch") != std::string::npos || text.find("IP address mismatch") != std::string::npos) {
    char expected[kOpenFailureSize];
    text_format(expected, sizeof expected, radius_text::kTlsNameExpected, server.tls_name.c_str());
    text += expected;
  }
  return text;
}

std::optional<std::string> radius_connect(Log& log, RadiusConnection& connection, const RadiusSettings& settings,
                                          Env& env) {
  if (sockets_start() == SocketsStart::failed) {
    log.error(radius_text::kNoSocketsLog);
    return radius_text::kNoSockets;
  }
  radius_close(log, connection);
  if (!settings.host) return open_failed(log, radius_text::kMissingHost);

  connection.secret = SharedSecret(effective_secret(settings));
  const bool tls = settings.transport == Transport::tls;
  if (tls) {
    if (settings.tls_files.key) {
      // The key proves who this client is: like the secret, it is for this account alone.
      const std::optional<FileStatus> key = file_status(*settings.tls_files.key);
      if (key && (key->others_may_read || key->others_may_write)) {
        log.error(radius_text::kTlsKeyNotPrivate, settings.tls_files.key->c_str());
      }
    }
    connection.tls_client = std::make_unique<TlsClient>();
    std::string error;
    if (!connection.tls_client->configure(settings.tls_files, error)) {
      connection.tls_client.reset();
      return open_failed(log, radius_text::kTlsFailed, settings.host->c_str(), one_line(error).c_str());
    }
  }
  const std::vector<ServerEntry> entries = parse_server_list(*settings.host);
  const std::uint16_t default_port = default_server_port(settings);
  std::vector<RadiusServer> servers;
  for (const ServerEntry& entry : entries) {
    if (entry.port_invalid) log.error(radius_text::kBadEntryPort, entry.text.c_str());
    const std::optional<IpAddress> address = entry.port_invalid ? std::nullopt : resolve_entry(entry);
    if (!address) {
      // With one entry, the failure of the whole open below says it.
      if (entries.size() > 1) log.error(radius_text::kUnknownHost, entry.text.c_str());
      continue;
    }
    RadiusServer server;
    server.name = entry.text;
    server.tls_name = settings.tls_server_name.value_or(entry.host);
    server.endpoint = {*address, entry.port.value_or(default_port)};
    servers.push_back(std::move(server));
  }
  if (servers.empty()) return open_failed(log, radius_text::kUnknownHost, settings.host->c_str());
  log.message(radius_text::kGotServer);

  // Looked up once per open: resolving the host name costs more than the rest
  // of a check together.
  const std::uint32_t nas_ipv4 = host_address(local_host_name().c_str());
  if (tls) {
    for (RadiusServer& server : servers) {
      server.nas_address = IpAddress::v4(nas_ipv4);
      open_connection(log, server, *connection.tls_client, settings, env);
      connection.servers.push_back(std::move(server));
    }
    connection.first_server = balanced_first(connection, env.process_id());
    return std::nullopt;
  }
  std::string last_error;
  for (RadiusServer& server : servers) {
    if (open_socket(log, server, nas_ipv4)) {
      connection.servers.push_back(std::move(server));
    } else {
      last_error = socket_error_line();
    }
  }
  if (!connection.open()) return open_failed(log, radius_text::kSocketError, last_error.c_str());
  connection.first_server = balanced_first(connection, env.process_id());
  return std::nullopt;
}

std::optional<std::string> radius_ensure_open(Log& log, RadiusConnection& connection, const RadiusSettings& settings,
                                              Env& env) {
  if (connection.open()) return std::nullopt;
  return radius_connect(log, connection, settings, env);
}

void radius_close(Log& log, RadiusConnection& connection) {
  if (!connection.open()) {
    log.message(radius_text::kNotOpen);
    return;
  }
  for (RadiusServer& server : connection.servers) {
    log.message(radius_text::kClosing, static_cast<int>(server.sock));
    if (server.sock != kNoSocket) udp_socket_close(server.sock);
  }
  connection.servers.clear();
  connection.tls_client.reset();
}

std::uint16_t default_server_port(const RadiusSettings& settings) {
  if (settings.transport == Transport::tls && !settings.port_configured) return kDefaultTlsPort;
  if (settings.port != 0) return static_cast<std::uint16_t>(settings.port);
  return service_port("radius", "udp").value_or(kFallbackServerPort);
}

std::optional<IpAddress> resolve_entry(const ServerEntry& entry) {
  if (entry.ipv6_literal) return parse_ipv6_literal(entry.host);
  if (is_dotted_quad(entry.host.c_str())) {
    const std::uint32_t address = parse_dotted_quad(entry.host.c_str());
    if (address == 0) return std::nullopt;
    return IpAddress::v4(address);
  }
  const std::vector<IpAddress> addresses = resolve_host_addresses(entry.host.c_str());
  for (const IpAddress& address : addresses) {
    if (address.family == AddressFamily::ipv4 && address.v4_host_order() != 0) return address;
  }
  for (const IpAddress& address : addresses) {
    if (address.family == AddressFamily::ipv6) return address;
  }
  return std::nullopt;
}

std::uint32_t host_address(const char* host) {
  if (host == nullptr) return 0;
  if (is_dotted_quad(host)) return parse_dotted_quad(host);
  for (const IpAddress& address : resolve_host_addresses(host)) {
    if (address.family == AddressFamily::ipv4) return address.v4_host_order();
  }
  return 0;
}

bool is_dotted_quad(const char* text) {
  if (text == nullptr) return false;
  int dots = 0;
  int run = 0;
  for (; *text != '\0' && *text != ' '; ++text) {
    if (*text == '.') {
      ++dots;
      run = 0;
    } else if (!is_digit(*text) || ++run > kMaxGroupDigits) {
      return false;
    }
  }
  return dots == 3;
}

std::uint32_t parse_dotted_quad(const char* text) {
  if (text == nullptr) return 0;
  return parse_ip_address(text).value_or(IpAddress{}).v4_host_order();
}

}  // namespace vantorix
