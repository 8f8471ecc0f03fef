#include "radius/radius_transport.h"

#include <chrono>
#include <cstdarg>
#include <cstring>
#include <span>

#include "logging/log.h"
#include "logging/text_format.h"
#include "platform/udp_socket.h"
#include "radius/radius_data.h"
#include "radius/radius_texts.h"

namespace vantorix {
namespace {

constexpr int kReplyWaitMilliseconds = 2000;
constexpr std::int32_t kFallbackServerPort = 1645;  // when the services database has no "radius"
constexpr std::int32_t kFirstBindPort = 1026;
constexpr std::int32_t kLastBindPort = 64000;
constexpr int kErrorTextSize = 1024;
constexpr int kOpenFailureSize = 4096;
constexpr int kMaxGroupDigits = 3;

struct SocketErrorText {
  int code;
  const char* text;
};

// Keyed by Windows Sockets numbers; the platform layer maps native errors onto them.
constexpr SocketErrorText kSocketErrorTexts[] = {
    {10004, "The (blocking) call was canceled via WSACancelBlockingCall.\n"},
    {10013, "The requested address is a broadcast address, but the appropriate flag was not set.\n"},
    {10014, "The buf argument is not in a valid part of the user address space.\n"},
    {10022, "The socket has not been bound with bind.\n"},
    {10035, "The socket is marked as non-blocking and the requested operation would block.\n"},
    {10036, "A blocking Windows Sockets operation is in progress.\n"},
    {10038, "The descriptor is not a socket.\n"},
    {10039, "DestAddrReq\n"},
    {10040,
     "The socket is of type SOCK_DGRAM, and the datagram is larger than the maximum supported by the "
     "Windows Sockets implementation.\n"},
    {10045, "MSG_OOB was specified, but the socket is not of type SOCK_STREAM.\n"},
    {10048, "Address in use\n"},
    {10049, "Address not avail\n"},
    {10050, "The Windows Sockets implementation has detected that the network subsystem has failed.\n"},
    {10051, "Network Unreachable\n"},
    {10052, "The connection must be reset because the Windows Sockets implementation dropped it.\n"},
    {10053, "The virtual circuit was aborted due to timeout or other failure.\n"},
    {10054, "The virtual circuit was reset by the remote side.\n"},
    {10055, "The Windows Sockets implementation reports a buffer deadlock.\n"},
    {10057, "The socket is not connected.\n"},
    {10058,
     "The socket has been shutdown; it is not possible to sendln on a socket after shutdown has been "
     "invoked with how set to 1 or 2.\n"},
    {10059, "Too many refs.\n"},
    {10060, "Timedout\n"},
    {10061, "Connection Refused\n"},
    {10063, "Name too long\n"},
    {10064, "Host down\n"},
    {10065, "Host Unreachable\n"},
    {10066, "Not Empty\n"},
    {10093, "A successful WSAStartup must occur before using this API.\n"},
};

// A failed open: the text goes to the error log and, when the caller wants
// the parent told, to standard output as one whole line. Always false.
bool open_failed(bool report, const char* format, ...) VANTORIX_PRINTF(2, 3);
bool open_failed(bool report, const char* format, ...) {
  char text[kOpenFailureSize];
  va_list args;
  va_start(args, format);
  text_vformat(text, sizeof text, format, args);
  va_end(args);
  log_error("%s", text);
  if (report) console_write("%s%s", text, kLineEnd);
  return false;
}

// The current socket error text without its line end, for use inside a line.
void socket_error_line(char (&out)[kErrorTextSize]) {
  copy_bounded(out, socket_error_text(), kErrorTextSize);
  std::size_t length = std::strlen(out);
  while (length > 0 && (out[length - 1] == '\n' || out[length - 1] == '\r')) out[--length] = '\0';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads one group of a dotted quad at `text`: 1 to 3 digits worth 0..255,
// ending at a dot or the end of the text. Moves `text` to the end of the group.
bool read_quad_group(const char*& text, std::uint32_t& value) {
  int digits = 0;
  value = 0;
  for (; *text != '\0' && *text != '.'; ++text) {
    if (!is_digit(*text) || ++digits > kMaxGroupDigits) return false;
    value = value * 10 + static_cast<std::uint32_t>(*text - '0');
  }
  return digits > 0 && value <= 255;
}

}  // namespace

bool radius_connect(RadiusConnection& connection, const RadiusSettings& settings, bool report) {
  if (sockets_start() == SocketsStart::failed) {
    log_error(radius_text::kNoSocketsLog);
    if (report) console_write("%s%s", radius_text::kNoSockets, kLineEnd);
    return false;
  }
  radius_close(connection);

  if (!settings.host) return open_failed(report, radius_text::kMissingHost);

  // The services entry decides only when the configured port reads as 0.
  connection.server_port = service_port("radius", "udp").value_or(kFallbackServerPort);
  if (settings.port != 0) connection.server_port = settings.port;

  connection.server_ip = host_address(settings.host->c_str());
  if (connection.server_ip == 0) return open_failed(report, radius_text::kUnknownHost, settings.host->c_str());
  log_message(radius_text::kGotServer);

  // Only the 16 bits of a port reach the wire, as with htons().
  connection.server_addr = {connection.server_ip, static_cast<std::uint16_t>(connection.server_port)};
  // Looked up once per open: resolving the host name costs more than the rest
  // of a check together.
  connection.nas_ip = host_address(local_host_name().c_str());

  connection.sock = udp_socket_open();
  if (connection.sock == kNoSocket) {
    char error[kErrorTextSize];
    socket_error_line(error);
    return open_failed(report, radius_text::kSocketError, error);
  }

  log_message(radius_text::kBinding);
  for (connection.bind_port = kFirstBindPort;; ++connection.bind_port) {
    Ipv4Endpoint local{0, static_cast<std::uint16_t>(connection.bind_port)};
    if (udp_socket_bind(connection.sock, local) || connection.bind_port >= kLastBindPort) break;
  }
  // When no port bound, the socket goes on unbound and the first send gives
  // it a port of the system's choosing.
  log_message(radius_text::kBound, connection.bind_port);
  return true;
}

bool radius_ensure_open(RadiusConnection& connection, const RadiusSettings& settings) {
  if (connection.sock != kNoSocket) return true;
  return radius_connect(connection, settings, true);
}

void radius_close(RadiusConnection& connection) {
  if (connection.sock == kNoSocket) {
    log_message(radius_text::kNotOpen);
    return;
  }
  log_message(radius_text::kClosing, static_cast<int>(connection.sock));
  udp_socket_close(connection.sock);
  connection.sock = kNoSocket;
}

SlotResult radius_open() {
  RadiusData& data = radius_data();
  return radius_connect(data.connection, data.settings, false) ? kSlotSuccess : kSlotNegative;
}

void radius_close() { radius_close(radius_data().connection); }

std::uint32_t host_address(const char* host) {
  if (host == nullptr) return 0;
  if (is_dotted_quad(host)) return parse_dotted_quad(host);
  return resolve_host_name(host).value_or(0);
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
  std::uint32_t result = 0;
  for (int group = 0; group < 4; ++group) {
    std::uint32_t value = 0;
    if (!read_quad_group(text, value)) return 0;
    result = result * 256 + value;
    if (*text == '.') ++text;  // never steps over the end of the text
  }
  return result;
}

int send_request(const RadiusConnection& connection, const RadiusExchange& exchange) {
  std::size_t length = exchange.send_len > 0 ? static_cast<std::size_t>(exchange.send_len) : 0;
  if (length > exchange.send_buf.size()) length = exchange.send_buf.size();
  int sent = udp_send_to(connection.sock, std::span<const std::uint8_t>(exchange.send_buf.data(), length),
                         connection.server_addr);
  if (sent <= 0) log_error(radius_text::kSendFailed, sent, socket_error_text());
  return sent;
}

int receive_reply(const RadiusConnection& connection, RadiusExchange& exchange) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyWaitMilliseconds);
  int wait = kReplyWaitMilliseconds;
  for (;;) {
    // A failed wait still tries the receive, which never blocks: it reports
    // the socket's error, or "would block" when nothing is there.
    if (udp_wait_readable(connection.sock, wait) == WaitResult::timed_out) return 0;
    // A failure that names no sender counts as the server's and is reported.
    Ipv4Endpoint from = connection.server_addr;
    int got = udp_receive_from(connection.sock, exchange.recv_buf, &from);
    if (from != connection.server_addr) {
      // Only the configured server may answer; anyone else could otherwise
      // feed us replies or learn where later requests go.
      log_message(radius_text::kForeignDatagram, got, from.address >> 24, (from.address >> 16) & 0xFF,
                  (from.address >> 8) & 0xFF, from.address & 0xFF, static_cast<unsigned>(from.port));
      auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (rest.count() <= 0) return 0;
      wait = static_cast<int>(rest.count());
      continue;
    }
    exchange.recv_len = got;
    if (got <= 0) log_error(radius_text::kReceiveFailed, exchange.recv_len, socket_error_text());
    return exchange.recv_len;
  }
}

const char* socket_error_text() {
  static char area[kErrorTextSize];
  const int code = last_socket_error();
  for (const SocketErrorText& entry : kSocketErrorTexts) {
    if (entry.code == code) {
      copy_bounded(area, entry.text, kErrorTextSize);
      return area;
    }
  }
  text_format(area, kErrorTextSize, radius_text::kUnknownSocketError, code);
  return area;
}

}  // namespace vantorix
