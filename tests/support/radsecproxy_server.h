// radsecproxy (Debian's radsecproxy) for interoperability tests: a RADIUS
// over TLS server and a UDP proxy on 127.0.0.1 at free ports, in front of
// one UDP home server on 127.0.0.1, with the throwaway certificates of a
// FreeRADIUS TLS test server. It answers Status-Server itself, drops a
// client's retransmitted copies as duplicates and retries the home server on
// its own.
#pragma once

#include <cstdint>
#include <string>

#include "freeradius_server.h"
#include "server_process.h"
#include "temp_dir.h"

namespace vantorix::testing {

struct RadsecProxyOptions {
  std::uint16_t home_port = 0;  // the UDP home server on 127.0.0.1
  std::string home_secret;
  /// The CA, the server certificate it presents and the CA it checks the
  /// client's certificate against (a FreeRadiusServer's, made with tls).
  TlsFiles certificates;
};

class RadsecProxy {
 public:
  /// The shared secret of its UDP client 127.0.0.1; over TLS it is "radsec".
  static constexpr const char* kUdpSecret = "proxy-shared-secret";

  /// Starts the proxy and waits (at most about 10 seconds) until both
  /// listeners are there; on failure `running()` is false and `failure()`
  /// says why.
  explicit RadsecProxy(RadsecProxyOptions options);

  bool running() const { return running_; }
  const std::string& failure() const { return failure_; }
  std::uint16_t tls_port() const { return tls_port_; }
  std::uint16_t udp_port() const { return udp_port_; }
  /// Its log since it was first started (log level 5; in the foreground it
  /// writes to standard error).
  std::string log() const { return dir_.read("radsecproxy.out") + dir_.read("radsecproxy.log"); }

  void stop();
  /// Stops it and starts it again on the same ports; returns `running()`.
  bool restart();

 private:
  bool start();

  RadsecProxyOptions options_;
  TempDir dir_;
  ServerProcess process_;
  std::uint16_t tls_port_ = 0;
  std::uint16_t udp_port_ = 0;
  bool running_ = false;
  std::string failure_;
};

}  // namespace vantorix::testing
