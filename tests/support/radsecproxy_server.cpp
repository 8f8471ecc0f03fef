#include "radsecproxy_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace vantorix::testing {
namespace {

constexpr const char* kRadsecproxy = "/usr/sbin/radsecproxy";
constexpr int kStartAttempts = 3;
constexpr int kStartMilliseconds = 10000;

// True when something holds `port` of `type` on 127.0.0.1: binding it fails.
// A TCP port is tried with SO_REUSEADDR, so that the connections a stopped
// proxy left in TIME_WAIT do not count, only a listener. (Connecting to see
// would show the proxy a connection without TLS.)
bool taken(int type, std::uint16_t port) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int on = 1;
  if (type == SOCK_STREAM) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  auto [address, size] = loopback(AF_INET, port);
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0;
  ::close(fd);
  return !bound;
}

}  // namespace

RadsecProxy::RadsecProxy(RadsecProxyOptions options) : options_(std::move(options)) {
  if (::access(kRadsecproxy, X_OK) != 0) {
    failure_ = std::string(kRadsecproxy) +
               " is missing: install the Debian package radsecproxy (scripts/install-deps.sh)";
    return;
  }
  for (int attempt = 0; attempt < kStartAttempts && !running_; ++attempt) {
    tls_port_ = free_port({AF_INET}, SOCK_STREAM);
    udp_port_ = free_port({AF_INET}, SOCK_DGRAM);
    if (tls_port_ == 0 || udp_port_ == 0) {
      failure_ = "no free port on loopback";
      continue;
    }
    running_ = start();
  }
}

bool RadsecProxy::start() {
  failure_.clear();
  const TlsFiles& files = options_.certificates;
  const std::string where = "127.0.0.1:";
  dir_.write("radsecproxy.conf",
             "ListenUDP " + where + std::to_string(udp_port_) + "\n" +
             "ListenTLS " + where + std::to_string(tls_port_) + "\n" +
             "LogLevel 5\n"
             "LogDestination file://" + dir_.file("radsecproxy.log") + "\n" +
             "tls default {\n"
             "    CACertificateFile " + files.ca_file + "\n" +
             "    CertificateFile " + files.server_certificate + "\n" +
             "    CertificateKeyFile " + files.server_key + "\n" +
             "}\n"
             "client tls-clients {\n"
             "    host 127.0.0.1\n"
             "    type tls\n"
             "    secret radsec\n"
             // The test client's certificate names no address.
             "    CertificateNameCheck off\n"
             "}\n"
             "client udp-clients {\n"
             "    host 127.0.0.1\n"
             "    type udp\n"
             "    secret " + kUdpSecret + "\n" +
             "}\n"
             "server home {\n"
             "    host 127.0.0.1\n"
             "    port " + std::to_string(options_.home_port) + "\n" +
             "    type udp\n"
             "    secret " + options_.home_secret + "\n" +
             "}\n"
             "realm * {\n"
             "    server home\n"
             "}\n");
  if (!process_.start({kRadsecproxy, "-f", "-c", dir_.file("radsecproxy.conf")}, dir_.file("radsecproxy.out"))) {
    failure_ = "cannot start radsecproxy";
    return false;
  }
  const bool listening = wait_until(
      [this] {
        return !process_.running() || (taken(SOCK_STREAM, tls_port_) && taken(SOCK_DGRAM, udp_port_));
      },
      kStartMilliseconds);
  if (!listening || !process_.running()) {
    failure_ = "radsecproxy did not start:\n" + dir_.read("radsecproxy.out") + log();
    process_.stop();
    return false;
  }
  return true;
}

void RadsecProxy::stop() {
  process_.stop();
  running_ = false;
}

bool RadsecProxy::restart() {
  stop();
  running_ = start();
  return running_;
}

}  // namespace vantorix::testing
