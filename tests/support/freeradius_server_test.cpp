// The FreeRADIUS harness itself: each kind of server starts and answers real
// requests, built here with OpenSSL's digests, over UDP on 127.0.0.1 and ::1
// and over TLS.
#include "freeradius_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vantorix::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kReplyWaitMilliseconds = 2000;
// Long enough for a loopback reply that would come, short enough to wait
// for one that must not.
constexpr int kSilenceMilliseconds = 300;
constexpr int kMessageAuthenticator = 80;

Bytes md5(const Bytes& a, const Bytes& b, const std::string& c) {
  Bytes digest(16);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_md5(), nullptr);
  EVP_DigestUpdate(context, a.data(), a.size());
  EVP_DigestUpdate(context, b.data(), b.size());
  EVP_DigestUpdate(context, c.data(), c.size());
  EVP_DigestFinal_ex(context, digest.data(), nullptr);
  EVP_MD_CTX_free(context);
  return digest;
}

Bytes hmac_md5(const std::string& key, const Bytes& data) {
  Bytes mac(16);
  unsigned int size = 0;
  HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), mac.data(), &size);
  return mac;
}

void add_attribute(Bytes& packet, std::uint8_t type, const Bytes& value) {
  packet.push_back(type);
  packet.push_back(static_cast<std::uint8_t>(value.size() + 2));
  packet.insert(packet.end(), value.begin(), value.end());
}

// An Access-Request for user and password (User-Password hidden as RFC 2865
// says), or with code 12 a Status-Server; Status-Server always carries a
// Message-Authenticator, an Access-Request when asked.
Bytes make_request(std::uint8_t code, const std::string& secret, const std::string& user = "",
                   const std::string& password = "", bool message_authenticator = true) {
  Bytes packet = {code, 0, 0, 0};
  packet.resize(20);
  RAND_bytes(&packet[1], 1);
  RAND_bytes(&packet[4], 16);
  if (code == 1) {
    add_attribute(packet, 1, Bytes(user.begin(), user.end()));
    Bytes hidden(password.begin(), password.end());
    hidden.resize((hidden.size() + 15) / 16 * 16);
    Bytes previous(packet.begin() + 4, packet.begin() + 20);
    for (std::size_t block = 0; block < hidden.size(); block += 16) {
      const Bytes key = md5(Bytes(secret.begin(), secret.end()), previous, "");
      for (std::size_t i = 0; i < 16; ++i) hidden[block + i] ^= key[i];
      previous.assign(hidden.begin() + block, hidden.begin() + block + 16);
    }
    add_attribute(packet, 2, hidden);
  }
  std::size_t mac_at = 0;
  if (code == 12 || message_authenticator) {
    add_attribute(packet, kMessageAuthenticator, Bytes(16, 0));
    mac_at = packet.size() - 16;
  }
  packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
  packet[3] = static_cast<std::uint8_t>(packet.size());
  if (mac_at != 0) {
    const Bytes mac = hmac_md5(secret, packet);
    std::copy(mac.begin(), mac.end(), packet.begin() + static_cast<std::ptrdiff_t>(mac_at));
  }
  return packet;
}

// Where the value of the first attribute of `type` begins in a whole
// packet, or 0 when there is none.
std::size_t find_attribute(const Bytes& packet, std::uint8_t type) {
  for (std::size_t at = 20; at + 2 <= packet.size() && packet[at + 1] >= 2 && at + packet[at + 1] <= packet.size();
       at += packet[at + 1]) {
    if (packet[at] == type) return at + 2;
  }
  return 0;
}

// The value of the first attribute of `type`; empty when there is none.
Bytes attribute(const Bytes& packet, std::uint8_t type) {
  const std::size_t at = find_attribute(packet, type);
  return at == 0 ? Bytes() : Bytes(packet.begin() + at, packet.begin() + at + packet[at - 1] - 2);
}

// The reply's code when it answers `request` with a correct Response
// Authenticator (and a correct Message-Authenticator, if it has one); 0
// when there is no such reply.
int reply_code(const Bytes& request, const Bytes& reply, const std::string& secret) {
  if (reply.size() < 20 || reply[1] != request[1] || ((reply[2] << 8) | reply[3]) != static_cast<int>(reply.size())) {
    return 0;
  }
  const Bytes request_authenticator(request.begin() + 4, request.begin() + 20);
  Bytes head(reply.begin(), reply.begin() + 4);
  head.insert(head.end(), request_authenticator.begin(), request_authenticator.end());
  if (md5(head, Bytes(reply.begin() + 20, reply.end()), secret) != Bytes(reply.begin() + 4, reply.begin() + 20)) {
    return 0;
  }
  if (const std::size_t at = find_attribute(reply, kMessageAuthenticator)) {
    if (reply[at - 1] != 18) return 0;
    // Computed over the reply with the Request Authenticator in its place
    // and the value zeroed.
    Bytes copy = reply;
    std::copy(request_authenticator.begin(), request_authenticator.end(), copy.begin() + 4);
    std::fill_n(copy.begin() + static_cast<std::ptrdiff_t>(at), 16, 0);
    if (hmac_md5(secret, copy) != attribute(reply, kMessageAuthenticator)) return 0;
  }
  return reply[0];
}

// Sends `request` over UDP and returns the reply, or nothing after `wait`.
Bytes udp_exchange(int family, std::uint16_t port, const Bytes& request, int wait = kReplyWaitMilliseconds) {
  Bytes reply(4096);
  int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  auto [to, size] = loopback(family, port);
  ssize_t got = -1;
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), size) == 0 &&
      ::send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, wait) > 0 && (entry.revents & POLLIN) != 0) got = ::recv(fd, reply.data(), reply.size(), 0);
  }
  if (fd >= 0) ::close(fd);
  reply.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return reply;
}

int udp_code(const FreeRadiusServer& server, int family, const Bytes& request, int wait = kReplyWaitMilliseconds) {
  return reply_code(request, udp_exchange(family, server.port(), request, wait), FreeRadiusServer::kSecret);
}

struct TlsClient {
  std::string ca_file;
  std::string certificate;  // empty: none
  std::string key;
  std::string name = "127.0.0.1";  // an address or a DNS name to match
};

struct TlsResult {
  bool handshake = false;
  long verify_result = X509_V_OK;
  std::string version;
  Bytes reply;  // empty when the connection ended without one
};

// One request over a fresh TLS connection; every step waits at most a few
// seconds.
TlsResult tls_exchange(int family, std::uint16_t port, const TlsClient& client, const Bytes& request) {
  TlsResult result;
  int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return result;
  timeval limit{3, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  auto [to, size] = loopback(family, port);
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_load_verify_locations(context, client.ca_file.c_str(), nullptr);
  if (!client.certificate.empty()) {
    SSL_CTX_use_certificate_file(context, client.certificate.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(context, client.key.c_str(), SSL_FILETYPE_PEM);
  }
  SSL* ssl = SSL_new(context);
  in6_addr ignored;
  if (inet_pton(AF_INET, client.name.c_str(), &ignored) == 1 || inet_pton(AF_INET6, client.name.c_str(), &ignored) == 1) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), client.name.c_str());
  } else {
    SSL_set1_host(ssl, client.name.c_str());
  }
  SSL_set_fd(ssl, fd);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), size) == 0 && SSL_connect(ssl) == 1) {
    result.handshake = true;
    result.version = SSL_get_version(ssl);
    Bytes reply(4096);
    std::size_t have = 0;
    if (SSL_write(ssl, request.data(), static_cast<int>(request.size())) == static_cast<int>(request.size())) {
      // The Length field says where the reply ends in the stream.
      std::size_t length = 4;
      while (have < length) {
        const int got = SSL_read(ssl, reply.data() + have, static_cast<int>(length - have));
        if (got <= 0) {
          have = 0;
          break;
        }
        have += static_cast<std::size_t>(got);
        if (have == 4) {
          length = static_cast<std::size_t>((reply[2] << 8) | reply[3]);
          if (length < 20 || length > reply.size()) {
            have = 0;
            break;
          }
        }
      }
    }
    reply.resize(have);
    result.reply = reply;
  }
  result.verify_result = SSL_get_verify_result(ssl);
  SSL_free(ssl);
  SSL_CTX_free(context);
  ::close(fd);
  ERR_clear_error();
  return result;
}

int tls_code(const FreeRadiusServer& server, const TlsClient& client, const Bytes& request, int family = AF_INET) {
  return reply_code(request, tls_exchange(family, server.tls_port(), client, request).reply,
                    FreeRadiusServer::kTlsSecret);
}

TlsClient good_client(const FreeRadiusServer& server) {
  const TlsFiles& files = server.tls_files();
  return {files.ca_file, files.client_certificate, files.client_key};
}

constexpr int kAccept = 2;
constexpr int kReject = 3;

TEST(FreeRadiusServer, DefaultServerAnswersOnIpv4WithSignedAndVendorReplies) {
  FreeRadiusServer server;
  ASSERT_TRUE(server.running()) << server.failure();
  const std::string secret = FreeRadiusServer::kSecret;
  EXPECT_EQ(udp_code(server, AF_INET, make_request(1, secret, "alice", "secret", false)), kAccept) << server.output();
  // Without the option Status-Server goes unanswered.
  EXPECT_EQ(udp_exchange(AF_INET, server.port(), make_request(12, secret), kSilenceMilliseconds).size(), 0u);

  const Bytes signed_request = make_request(1, secret, "signed", "signed-pw");
  const Bytes signed_reply = udp_exchange(AF_INET, server.port(), signed_request);
  EXPECT_EQ(reply_code(signed_request, signed_reply, secret), kAccept);
  EXPECT_EQ(attribute(signed_reply, kMessageAuthenticator).size(), 16u);

  const Bytes vendor_request = make_request(1, secret, "vendor", "vendor-pw");
  const Bytes vendor_reply = udp_exchange(AF_INET, server.port(), vendor_request);
  EXPECT_EQ(reply_code(vendor_request, vendor_reply, secret), kAccept);
  const std::string text = "shell:priv-lvl=15";
  Bytes vendor_value = {0, 0, 0, 9, 1, static_cast<std::uint8_t>(text.size() + 2)};
  vendor_value.insert(vendor_value.end(), text.begin(), text.end());
  EXPECT_EQ(attribute(vendor_reply, 26), vendor_value);
}

TEST(FreeRadiusServer, Ipv6OnlyWithRequiredMessageAuthenticatorStatusServerAndOwnUsers) {
  FreeRadiusOptions options;
  options.ipv4 = false;
  options.ipv6 = true;
  options.require_message_authenticator = true;
  options.status_server = true;
  options.extra_users = "dave\tCleartext-Password := \"daves-pw\"";
  FreeRadiusServer server(options);
  ASSERT_TRUE(server.running()) << server.failure();
  const std::string secret = FreeRadiusServer::kSecret;
  EXPECT_EQ(udp_code(server, AF_INET6, make_request(1, secret, "alice", "secret")), kAccept) << server.output();
  EXPECT_EQ(udp_code(server, AF_INET6, make_request(1, secret, "dave", "daves-pw")), kAccept);
  EXPECT_EQ(udp_code(server, AF_INET6, make_request(12, secret)), kAccept);
  EXPECT_EQ(udp_exchange(AF_INET6, server.port(), make_request(1, secret, "alice", "secret", false), kSilenceMilliseconds)
                .size(),
            0u);
  EXPECT_EQ(udp_exchange(AF_INET, server.port(), make_request(1, secret, "alice", "secret"), kSilenceMilliseconds).size(),
            0u);

  options.users = "erin\tCleartext-Password := \"erins-pw\"\n";
  options.extra_users.clear();
  FreeRadiusServer replaced(options);
  ASSERT_TRUE(replaced.running()) << replaced.failure();
  EXPECT_NE(replaced.port(), server.port());
  EXPECT_EQ(udp_code(replaced, AF_INET6, make_request(1, secret, "erin", "erins-pw")), kAccept);
  EXPECT_EQ(udp_code(replaced, AF_INET6, make_request(1, secret, "alice", "secret")), kReject);
}

TEST(FreeRadiusServer, RestartsOnTheSamePortOfBothFamilies) {
  FreeRadiusOptions options;
  options.ipv6 = true;
  FreeRadiusServer server(options);
  ASSERT_TRUE(server.running()) << server.failure();
  const std::uint16_t port = server.port();
  const Bytes request = make_request(1, FreeRadiusServer::kSecret, "alice", "secret");
  EXPECT_EQ(udp_code(server, AF_INET, request), kAccept);
  EXPECT_EQ(udp_code(server, AF_INET6, request), kAccept);

  server.stop();
  EXPECT_FALSE(server.running());
  EXPECT_EQ(udp_exchange(AF_INET, port, request, kSilenceMilliseconds).size(), 0u);

  ASSERT_TRUE(server.restart()) << server.failure();
  EXPECT_EQ(server.port(), port);
  EXPECT_EQ(udp_code(server, AF_INET, make_request(1, FreeRadiusServer::kSecret, "alice", "secret")), kAccept);
  EXPECT_EQ(udp_code(server, AF_INET6, make_request(1, FreeRadiusServer::kSecret, "alice", "secret")), kAccept);
}

TEST(FreeRadiusServer, TlsListenerAnswersOnlyClientsWithItsCertificates) {
  FreeRadiusOptions options;
  options.tls = true;
  options.ipv6 = true;
  options.status_server = true;
  FreeRadiusServer server(options);
  ASSERT_TRUE(server.running()) << server.failure();
  const std::string secret = FreeRadiusServer::kTlsSecret;
  const TlsClient client = good_client(server);
  const TlsResult accepted = tls_exchange(AF_INET, server.tls_port(), client, make_request(1, secret, "alice", "secret"));
  EXPECT_TRUE(accepted.handshake) << server.output();
  EXPECT_EQ(accepted.version, "TLSv1.3");
  EXPECT_EQ(tls_code(server, client, make_request(1, secret, "alice", "secret")), kAccept);
  EXPECT_EQ(tls_code(server, client, make_request(1, secret, "alice", "wrong")), kReject);
  EXPECT_EQ(tls_code(server, client, make_request(12, secret)), kAccept);
  TlsClient by_name = client;
  by_name.name = "localhost";
  EXPECT_EQ(tls_code(server, by_name, make_request(1, secret, "alice", "secret")), kAccept);
  TlsClient over_ipv6 = client;
  over_ipv6.name = "::1";
  EXPECT_EQ(tls_code(server, over_ipv6, make_request(1, secret, "alice", "secret"), AF_INET6), kAccept);

  // Without a certificate, or with one of another CA, the server hangs up.
  TlsClient anonymous = client;
  anonymous.certificate.clear();
  EXPECT_EQ(tls_exchange(AF_INET, server.tls_port(), anonymous, make_request(1, secret, "alice", "secret")).reply.size(),
            0u);
  TlsClient stranger = client;
  stranger.certificate = server.tls_files().other_client_certificate;
  stranger.key = server.tls_files().other_client_key;
  EXPECT_EQ(tls_exchange(AF_INET, server.tls_port(), stranger, make_request(1, secret, "alice", "secret")).reply.size(),
            0u);
  // A client that trusts another CA refuses the server, which sends its CA
  // along with its certificate.
  TlsClient distrustful = client;
  distrustful.ca_file = server.tls_files().other_ca_file;
  const TlsResult refused = tls_exchange(AF_INET, server.tls_port(), distrustful, make_request(12, secret));
  EXPECT_FALSE(refused.handshake);
  EXPECT_EQ(refused.verify_result, X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN);

  const std::uint16_t port = server.tls_port();
  ASSERT_TRUE(server.restart()) << server.failure();
  EXPECT_EQ(server.tls_port(), port);
  EXPECT_EQ(tls_code(server, client, make_request(1, secret, "alice", "secret")), kAccept);
}

TEST(FreeRadiusServer, TlsServerCertificatesOfAnotherCaOrNameAndTls12WithoutClientCertificate) {
  FreeRadiusOptions options;
  options.tls = true;
  options.tls_server_certificate = TlsServerCertificate::kOtherCa;
  FreeRadiusServer other_ca(options);
  options.tls_server_certificate = TlsServerCertificate::kWrongName;
  FreeRadiusServer wrong_name(options);
  options.tls_server_certificate = TlsServerCertificate::kGood;
  options.tls_require_client_certificate = false;
  options.tls_max_version = "1.2";
  FreeRadiusServer open(options);
  ASSERT_TRUE(other_ca.running()) << other_ca.failure();
  ASSERT_TRUE(wrong_name.running()) << wrong_name.failure();
  ASSERT_TRUE(open.running()) << open.failure();
  const Bytes request = make_request(1, FreeRadiusServer::kTlsSecret, "alice", "secret");

  TlsResult result = tls_exchange(AF_INET, other_ca.tls_port(), good_client(other_ca), request);
  EXPECT_FALSE(result.handshake);
  EXPECT_EQ(result.verify_result, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY);
  TlsClient trusting = good_client(other_ca);
  trusting.ca_file = other_ca.tls_files().other_ca_file;
  EXPECT_EQ(tls_code(other_ca, trusting, request), kAccept) << other_ca.output();

  result = tls_exchange(AF_INET, wrong_name.tls_port(), good_client(wrong_name), request);
  EXPECT_FALSE(result.handshake);
  EXPECT_EQ(result.verify_result, X509_V_ERR_IP_ADDRESS_MISMATCH);
  TlsClient by_name = good_client(wrong_name);
  by_name.name = "localhost";
  result = tls_exchange(AF_INET, wrong_name.tls_port(), by_name, request);
  EXPECT_FALSE(result.handshake);
  EXPECT_EQ(result.verify_result, X509_V_ERR_HOSTNAME_MISMATCH);

  TlsClient anonymous = good_client(open);
  anonymous.certificate.clear();
  result = tls_exchange(AF_INET, open.tls_port(), anonymous, request);
  EXPECT_EQ(result.version, "TLSv1.2");
  EXPECT_EQ(reply_code(request, result.reply, FreeRadiusServer::kTlsSecret), kAccept) << open.output();
}

}  // namespace
}  // namespace vantorix::testing
