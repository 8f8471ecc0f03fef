// The limit for the end-to-end benchmark: a minimal serial RADIUS client that
// sends one prebuilt Access-Request per user and waits for its answer before
// sending the next. No front end, no log, no user file: the best any client
// that asks one question at a time can do against the same server.
//
//   raw_client [-m] PORT SECRET USERS [HOST]
//
// USERS holds one "name password" per line. With -m every request also
// carries a Message-Authenticator (RFC 3579 s3.2), as servers now ask of
// their clients. All requests are built (hidden passwords, fresh random
// authenticators, Message-Authenticators) before the first one is sent, and
// only the exchanges are timed: their seconds go to standard output. The exit
// status is 0 when every user was accepted; a summary goes to standard error.
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/system.h"
#include "platform/udp_socket.h"
#include "radius/md5.h"
#include "radius/radius_transport.h"

namespace {

using vantorix::Endpoint;

constexpr int kReplyWaitMilliseconds = 2000;
constexpr std::size_t kMaxHiddenPassword = 128;
constexpr std::size_t kDigestSize = 16;  // MD5
constexpr std::uint8_t kMessageAuthenticator = 80;
constexpr std::size_t kMessageAuthenticatorOffset = 20 + 2;  // its value, first after the header

struct Request {
  std::vector<std::uint8_t> bytes;
};

void put_attribute(std::vector<std::uint8_t>& packet, std::uint8_t type, const std::uint8_t* value, std::size_t size) {
  packet.push_back(type);
  packet.push_back(static_cast<std::uint8_t>(size + 2));
  packet.insert(packet.end(), value, value + size);
}

void put_number_attribute(std::vector<std::uint8_t>& packet, std::uint8_t type, std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  put_attribute(packet, type, bytes, sizeof bytes);
}

// HMAC-MD5 (RFC 2104) of `message` keyed with `key`, into `output`, with
// the program's own HMAC (its unit tests check the RFC 2202 vectors).
void hmac_md5(std::uint8_t* output, const std::string& key, const std::vector<std::uint8_t>& message) {
  vantorix::HmacMd5 hmac({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()});
  hmac.update(message);
  hmac.final(output);
}

// An Access-Request as RFC 2865 has it: User-Name, User-Password hidden in
// chained 16-byte blocks, NAS-Port, NAS-IP-Address; with `authenticate`, a
// Message-Authenticator first, computed over the finished packet with its
// value zeroed.
bool build_request(Request& request, std::uint8_t identifier, const std::string& name, const std::string& password,
                   const std::string& secret, std::uint16_t port, bool authenticate) {
  if (name.size() > 253 || password.size() > kMaxHiddenPassword) return false;
  std::array<std::uint8_t, 16> authenticator{};
  static vantorix::SystemEnv env;
  if (!env.random(authenticator)) return false;
  auto& packet = request.bytes;
  packet = {1, identifier, 0, 0};
  packet.insert(packet.end(), authenticator.begin(), authenticator.end());
  const std::uint8_t zeros[kDigestSize] = {};
  if (authenticate) put_attribute(packet, kMessageAuthenticator, zeros, sizeof zeros);
  put_attribute(packet, 1, reinterpret_cast<const std::uint8_t*>(name.data()), name.size());

  std::size_t padded = (password.size() + 15) / 16 * 16;
  if (padded == 0) padded = 16;
  std::vector<std::uint8_t> hidden(padded, 0);
  std::memcpy(hidden.data(), password.data(), password.size());
  std::vector<std::uint8_t> work(secret.begin(), secret.end());
  const std::uint8_t* previous = authenticator.data();
  for (std::size_t block = 0; block < padded; block += 16) {
    work.resize(secret.size());
    work.insert(work.end(), previous, previous + 16);
    std::uint8_t pad[16];
    vantorix::md5_digest(pad, work.data(), static_cast<std::int32_t>(work.size()));
    for (int i = 0; i < 16; ++i) hidden[block + i] ^= pad[i];
    previous = hidden.data() + block;
  }
  put_attribute(packet, 2, hidden.data(), hidden.size());
  put_number_attribute(packet, 5, port);
  put_number_attribute(packet, 4, 0x7F000001);
  packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
  packet[3] = static_cast<std::uint8_t>(packet.size() & 0xFF);
  if (authenticate) hmac_md5(packet.data() + kMessageAuthenticatorOffset, secret, packet);
  return true;
}

// Sends the request and waits for the answer with its identifier.
// Returns the reply's code, or 0 when none came in time.
int ask(vantorix::SocketHandle socket, const Request& request, Endpoint server,
        std::array<std::uint8_t, 8192>& reply) {
  if (vantorix::udp_send_to(socket, request.bytes, server) <= 0) return 0;
  for (;;) {
    if (vantorix::udp_wait_readable(socket, kReplyWaitMilliseconds) != vantorix::WaitResult::readable) return 0;
    Endpoint from;
    const int got = vantorix::udp_receive_from(socket, reply, &from);
    if (got >= 20 && from == server && reply[1] == request.bytes[1]) return reply[0];
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool authenticate = argc > 1 && std::strcmp(argv[1], "-m") == 0;
  if (authenticate) {
    --argc;
    ++argv;
  }
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: raw_client [-m] PORT SECRET USERS [HOST]\n");
    return 2;
  }
  const long port = std::strtol(argv[1], nullptr, 10);
  const std::string secret = argv[2];
  const char* host = argc == 5 ? argv[4] : "127.0.0.1";
  if (port <= 0 || port > 65535 || !vantorix::is_dotted_quad(host)) {
    std::fprintf(stderr, "raw_client: need a port (1-65535) and a dotted-quad host\n");
    return 2;
  }
  const Endpoint server{vantorix::IpAddress::v4(vantorix::parse_dotted_quad(host)), static_cast<std::uint16_t>(port)};

  std::ifstream users(argv[3]);
  if (!users) {
    std::fprintf(stderr, "raw_client: cannot read %s\n", argv[3]);
    return 2;
  }
  std::vector<Request> requests;
  std::string name;
  std::string password;
  while (users >> name >> password) {
    Request request;
    if (!build_request(request, static_cast<std::uint8_t>(requests.size()), name, password, secret,
                       static_cast<std::uint16_t>(port), authenticate)) {
      std::fprintf(stderr, "raw_client: cannot build a request for %s\n", name.c_str());
      return 2;
    }
    requests.push_back(std::move(request));
  }

  const vantorix::SocketHandle socket = vantorix::udp_socket_open(vantorix::AddressFamily::ipv4);
  if (socket == vantorix::kNoSocket) {
    std::fprintf(stderr, "raw_client: no socket\n");
    return 2;
  }
  std::array<std::uint8_t, 8192> reply{};
  std::size_t accepted = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const Request& request : requests) {
    if (ask(socket, request, server, reply) == 2) ++accepted;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.6f\n", elapsed.count());
  vantorix::udp_socket_close(socket);
  std::fprintf(stderr, "raw_client: %zu requests, %zu accepted\n", requests.size(), accepted);
  return accepted == requests.size() ? 0 : 1;
}
