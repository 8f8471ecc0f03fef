#include "freeradius_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "process_runner.h"

namespace vantorix::testing {
namespace {

constexpr const char* kFreeRadius = "/usr/sbin/freeradius";
constexpr const char* kOpenssl = "/usr/bin/openssl";
constexpr int kStartAttempts = 3;
constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr auto kOpensslTimeout = std::chrono::seconds(5);  // each takes about 10 ms
constexpr int kProbeWaitMilliseconds = 100;
// A refused probe comes back at once; the next one follows soon, so a start
// takes little more than the server needs to read its configuration.
constexpr auto kProbePause = std::chrono::milliseconds(20);

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// Binds a socket of `type` to loopback of `family` at `port` (0: any) and
// returns the port it got, or 0 when that failed. The socket is closed again:
// the port was free a moment ago.
std::uint16_t bind_loopback(int family, int type, std::uint16_t port) {
  int fd = ::socket(family, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  auto [address, size] = loopback(family, port);
  std::uint16_t bound = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    bound = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  }
  ::close(fd);
  return bound;
}

// An Access-Request for a user nobody knows, with a Message-Authenticator so
// that a server which requires one answers it too.
std::vector<std::uint8_t> probe_packet() {
  std::vector<std::uint8_t> probe = {1, 0x42, 0, 0};
  for (int i = 0; i < 16; ++i) probe.push_back(static_cast<std::uint8_t>(i * 7 + 3));
  const std::string name = "probe";
  probe.push_back(1);
  probe.push_back(static_cast<std::uint8_t>(name.size() + 2));
  probe.insert(probe.end(), name.begin(), name.end());
  probe.push_back(2);
  probe.push_back(18);
  for (int i = 0; i < 16; ++i) probe.push_back(static_cast<std::uint8_t>(i));
  probe.push_back(80);
  probe.push_back(18);
  const std::size_t mac_at = probe.size();
  probe.resize(probe.size() + 16, 0);
  probe[3] = static_cast<std::uint8_t>(probe.size());
  const std::string secret = FreeRadiusServer::kSecret;
  unsigned int mac_size = 0;
  ::HMAC(EVP_md5(), secret.data(), static_cast<int>(secret.size()), probe.data(), probe.size(),
         probe.data() + mac_at, &mac_size);
  return probe;
}

const char* address_item(int family) { return family == AF_INET6 ? "ipv6addr = ::1" : "ipaddr = 127.0.0.1"; }

}  // namespace

std::pair<sockaddr_storage, socklen_t> loopback(int family, std::uint16_t port) {
  sockaddr_storage storage{};
  if (family == AF_INET6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    address->sin6_family = AF_INET6;
    address->sin6_addr = in6addr_loopback;
    address->sin6_port = htons(port);
    return {storage, sizeof(sockaddr_in6)};
  }
  auto* address = reinterpret_cast<sockaddr_in*>(&storage);
  address->sin_family = AF_INET;
  address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address->sin_port = htons(port);
  return {storage, sizeof(sockaddr_in)};
}

std::uint16_t free_port(const std::vector<int>& families, int type) {
  std::uint16_t port = bind_loopback(families.front(), type, 0);
  for (std::size_t i = 1; port != 0 && i < families.size(); ++i) {
    if (bind_loopback(families[i], type, port) != port) port = 0;
  }
  return port;
}

FreeRadiusServer::FreeRadiusServer() : FreeRadiusServer(FreeRadiusOptions{}) {}

FreeRadiusServer::FreeRadiusServer(FreeRadiusOptions options) : options_(std::move(options)) {
  if (::access(kFreeRadius, X_OK) != 0) {
    failure_ = std::string(kFreeRadius) + " is missing: install the Debian package freeradius (scripts/install-deps.sh)";
    return;
  }
  if (!options_.ipv4 && !options_.ipv6) {
    failure_ = "neither 127.0.0.1 nor ::1 to listen on";
    return;
  }
  if (options_.tls && !make_certificates()) return;
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    failure_.clear();
    if (pick_ports() && write_configuration() && start()) return;
    stop();  // the port may have been taken in between: try another
  }
}

FreeRadiusServer::~FreeRadiusServer() { stop(); }

bool FreeRadiusServer::restart() {
  stop();
  if (port_ == 0) return false;  // never configured: failure() says why
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    failure_.clear();
    if (start()) return true;
    stop();
  }
  return false;
}

bool FreeRadiusServer::pick_ports() {
  std::vector<int> families;
  if (options_.ipv4) families.push_back(AF_INET);
  if (options_.ipv6) families.push_back(AF_INET6);
  port_ = free_port(families, SOCK_DGRAM);
  tls_port_ = options_.tls ? free_port(families, SOCK_STREAM) : 0;
  if (port_ == 0 || (options_.tls && tls_port_ == 0)) {
    failure_ = "no free port on loopback";
    return false;
  }
  return true;
}

// A CA, an unrelated CA, three server certificates and two client
// certificates, all with P-256 keys (quick to make) in tls/.
bool FreeRadiusServer::make_certificates() {
  if (::access(kOpenssl, X_OK) != 0) {
    failure_ = std::string(kOpenssl) + " is missing: install the Debian package openssl (scripts/install-deps.sh)";
    return false;
  }
  const std::string tls = dir_.file("tls");
  if (::mkdir(tls.c_str(), 0700) != 0) {
    failure_ = "cannot make " + tls;
    return false;
  }
  ProcessOptions run_options;
  run_options.timeout = kOpensslTimeout;
  // issuer "": self-signed, a CA.
  auto make = [&](const std::string& name, const std::string& subject, const std::string& issuer,
                  const std::vector<std::string>& extensions) {
    std::vector<std::string> argv = {kOpenssl, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                     "-noenc", "-days", "2", "-subj", subject,
                                     "-keyout", tls + "/" + name + ".key", "-out", tls + "/" + name + ".pem"};
    if (issuer.empty()) {
      argv.insert(argv.end(), {"-x509", "-addext", "basicConstraints=critical,CA:TRUE",
                               "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
    } else {
      argv.insert(argv.end(), {"-CA", tls + "/" + issuer + ".pem", "-CAkey", tls + "/" + issuer + ".key",
                               "-addext", "basicConstraints=critical,CA:FALSE"});
    }
    for (const std::string& extension : extensions) argv.insert(argv.end(), {"-addext", extension});
    ProcessResult result = run_process(argv, "", run_options);
    if (result.exit_status != 0) {
      failure_ = "openssl could not make " + name + ".pem:\n" + result.err;
      return false;
    }
    return true;
  };
  const std::string server_names = "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost";
  const bool made =
      make("ca", "/CN=Vantorix test CA", "", {}) &&
      make("other-ca", "/CN=Unrelated test CA", "", {}) &&
      make("server", "/CN=localhost", "ca", {server_names, "extendedKeyUsage=serverAuth"}) &&
      make("other-ca-server", "/CN=localhost", "other-ca", {server_names, "extendedKeyUsage=serverAuth"}) &&
      make("wrong-name-server", "/CN=wrong.example", "ca",
           {"subjectAltName=DNS:wrong.example", "extendedKeyUsage=serverAuth"}) &&
      make("client", "/CN=vantorix test client", "ca", {"extendedKeyUsage=clientAuth"}) &&
      make("other-client", "/CN=vantorix test client", "other-ca", {"extendedKeyUsage=clientAuth"});
  if (!made) return false;
  tls_files_.ca_file = tls + "/ca.pem";
  tls_files_.client_certificate = tls + "/client.pem";
  tls_files_.client_key = tls + "/client.key";
  tls_files_.other_ca_file = tls + "/other-ca.pem";
  tls_files_.other_client_certificate = tls + "/other-client.pem";
  tls_files_.other_client_key = tls + "/other-client.key";
  tls_files_.server_certificate = tls + "/server.pem";
  tls_files_.server_key = tls + "/server.key";
  return true;
}

bool FreeRadiusServer::write_configuration() {
  const std::string templates = source_dir() + "/tests/freeradius/";
  std::string config = read_file(templates + "radiusd.conf");
  std::string users = options_.users.empty() ? read_file(templates + "users") : options_.users;
  if (config.empty() || users.empty()) {
    failure_ = "cannot read " + templates + "radiusd.conf and users";
    return false;
  }
  if (!options_.extra_users.empty()) users += "\n" + options_.extra_users + "\n";

  std::vector<int> families;
  if (options_.ipv4) families.push_back(AF_INET);
  if (options_.ipv6) families.push_back(AF_INET6);
  std::string clients;
  std::string listen;
  for (int family : families) {
    clients += std::string("client tests") + (family == AF_INET6 ? "6" : "") + " {\n" +
               "\t" + address_item(family) + "\n" +
               "\tsecret = " + kSecret + "\n" +
               "\trequire_message_authenticator = " + (options_.require_message_authenticator ? "yes" : "no") + "\n" +
               "\tnas_type = other\n}\n";
    listen += std::string("\tlisten {\n") +
              "\t\ttype = auth\n"
              "\t\t" + address_item(family) + "\n" +
              "\t\tport = " + std::to_string(port_) + "\n\t}\n";
  }
  if (options_.tls) {
    const char* certificate = options_.tls_server_certificate == TlsServerCertificate::kOtherCa     ? "other-ca-server"
                              : options_.tls_server_certificate == TlsServerCertificate::kWrongName ? "wrong-name-server"
                                                                                                    : "server";
    const std::string tls = dir_.file("tls") + "/";
    clients += "clients radsec {\n";
    for (int family : families) {
      clients += std::string("\tclient radsec") + (family == AF_INET6 ? "6" : "") + " {\n" +
                 "\t\t" + address_item(family) + "\n" +
                 "\t\tproto = tls\n"
                 "\t\tsecret = " + kTlsSecret + "\n" +
                 "\t\tnas_type = other\n\t}\n";
      listen += std::string("\tlisten {\n") +
                "\t\ttype = auth\n"
                "\t\t" + address_item(family) + "\n" +
                "\t\tport = " + std::to_string(tls_port_) + "\n" +
                "\t\tproto = tcp\n"
                "\t\tclients = radsec\n"
                "\t\ttls {\n"
                "\t\t\tprivate_key_file = " + tls + certificate + ".key\n" +
                "\t\t\tcertificate_file = " + tls + certificate + ".pem\n" +
                "\t\t\tca_file = " + tls + "ca.pem\n" +
                "\t\t\trequire_client_cert = " + (options_.tls_require_client_certificate ? "yes" : "no") + "\n" +
                "\t\t\ttls_min_version = \"1.2\"\n"
                "\t\t\ttls_max_version = \"" + options_.tls_max_version + "\"\n" +
                "\t\t}\n\t}\n";
    }
    clients += "}\n";
  }
  // The template has each on a line of its own.
  if (!clients.empty()) clients.pop_back();
  if (!listen.empty()) listen.pop_back();
  replace_all(config, "@DIR@", dir_.path());
  replace_all(config, "@STATUS_SERVER@", options_.status_server ? "yes" : "no");
  replace_all(config, "@CLIENTS@", clients);
  replace_all(config, "@LISTEN@", listen);
  dir_.write("radiusd.conf", config);
  dir_.write("users", users);
  return true;
}

bool FreeRadiusServer::start() {
  dir_.write("freeradius.out", "");
  // Foreground, debug output: the output file says what the server made of
  // each request when a test fails. -X also means one thread, which TLS
  // listeners refuse, so with TLS it is threads and the same output.
  const std::vector<std::string> argv =
      options_.tls ? std::vector<std::string>{kFreeRadius, "-f", "-xx", "-l", "stdout", "-d", dir_.path(), "-n",
                                              "radiusd"}
                   : std::vector<std::string>{kFreeRadius, "-X", "-d", dir_.path(), "-n", "radiusd"};
  if (!process_.start(argv, dir_.file("freeradius.out"))) {
    failure_ = "fork failed";
    return false;
  }

  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!process_.running()) {
      failure_ = "freeradius ended during start-up:\n" + output();
      return false;
    }
    if (answers_probes()) return true;
    std::this_thread::sleep_for(kProbePause);
  }
  failure_ = "freeradius did not answer within 5 seconds:\n" + output();
  return false;
}

// Every listener answers: a reply on each UDP address, a TCP connection on
// each TLS address (the server loads its certificates before it listens).
bool FreeRadiusServer::answers_probes() {
  for (int family : {AF_INET, AF_INET6}) {
    if (!(family == AF_INET ? options_.ipv4 : options_.ipv6)) continue;
    if (!answers_udp_probe(family)) return false;
    if (options_.tls && !accepts_tcp(family)) return false;
  }
  return true;
}

bool FreeRadiusServer::answers_udp_probe(int family) {
  int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const std::vector<std::uint8_t> probe = probe_packet();
  auto [to, size] = loopback(family, port_);
  bool answered = false;
  // Connected, so that a port nobody listens on yet is reported at once.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), size) == 0 &&
      ::send(fd, probe.data(), probe.size(), 0) > 0) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, kProbeWaitMilliseconds) > 0 && (entry.revents & POLLIN) != 0) {
      std::uint8_t reply[4096];
      answered = ::recv(fd, reply, sizeof reply, 0) >= 20;
    }
  }
  ::close(fd);
  return answered;
}

bool FreeRadiusServer::accepts_tcp(int family) {
  int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  auto [to, size] = loopback(family, tls_port_);
  bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), size) == 0;
  if (!connected && errno == EINPROGRESS) {
    pollfd entry{fd, POLLOUT, 0};
    int error = 0;
    socklen_t error_size = sizeof error;
    connected = ::poll(&entry, 1, kProbeWaitMilliseconds) > 0 &&
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_size) == 0 && error == 0;
  }
  ::close(fd);
  return connected;
}

void FreeRadiusServer::stop() { process_.stop(); }

}  // namespace vantorix::testing
