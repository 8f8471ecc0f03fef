// A real FreeRADIUS for integration tests: started in the foreground on
// loopback at a free port, with a throwaway configuration made from the
// files in tests/freeradius/ (a users file, PAP), and stopped by its process
// id when the object goes. Options add what a test needs: Message-Authenticator
// required of clients, Status-Server, a listener on ::1, RADIUS over TLS with
// throwaway certificates, users of the test's own. Several servers may run at
// once, each with its own ports and directory.
//
// Users of tests/freeradius/users (names and passwords without blanks):
//   alice / secret, longpass / a 40-character password, a 60-character name,
//   carol (Reply-Message and two raw code-26 attributes),
//   signed / signed-pw (the Access-Accept carries a Message-Authenticator),
//   vendor / vendor-pw (the Access-Accept carries Cisco-AVPair
//   "shell:priv-lvl=15": 26, 25, 0 0 0 9, 1, 19, text).
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "server_process.h"
#include "temp_dir.h"

namespace vantorix::testing {

/// The certificate the TLS listener presents.
enum class TlsServerCertificate {
  kGood,       // signed by ca_file, names IP:127.0.0.1, IP:::1 and DNS:localhost
  kOtherCa,    // the same names, signed by other_ca_file
  kWrongName,  // signed by ca_file, names only DNS:wrong.example
};

struct FreeRadiusOptions {
  bool ipv4 = true;   // listen on 127.0.0.1
  bool ipv6 = false;  // listen on ::1 (the same port numbers as on 127.0.0.1)
  /// The UDP clients' require_message_authenticator: a request without a
  /// valid Message-Authenticator then gets no reply at all.
  bool require_message_authenticator = false;
  /// Answer Status-Server (it needs a Message-Authenticator) with
  /// Access-Accept on the UDP and TLS ports.
  bool status_server = false;
  /// RADIUS over TLS on a TCP port of its own (tls_port()), shared secret
  /// kTlsSecret, certificates from tls_files().
  bool tls = false;
  bool tls_require_client_certificate = true;
  TlsServerCertificate tls_server_certificate = TlsServerCertificate::kGood;
  /// "1.2" or "1.3"; the least version is always 1.2. FreeRADIUS 3.2.1 on
  /// its own stops at 1.2.
  std::string tls_max_version = "1.3";
  /// Replaces tests/freeradius/users when not empty.
  std::string users;
  /// Lines appended to the users file (users format, tab or blank separated).
  std::string extra_users;
};

/// The throwaway certificates of a TLS server, made in its directory with
/// the openssl program (elliptic-curve keys, valid for two days).
struct TlsFiles {
  std::string ca_file;             // signed the good and wrong-name server certificates and the client's
  std::string client_certificate;  // for CN "vantorix test client", signed by ca_file
  std::string client_key;
  std::string other_ca_file;             // an unrelated CA
  std::string other_client_certificate;  // signed by other_ca_file: the server refuses it
  std::string other_client_key;
  std::string server_certificate;  // the good server certificate (names 127.0.0.1, ::1, localhost)
  std::string server_key;
};

class FreeRadiusServer {
 public:
  /// The shared secret of the UDP clients 127.0.0.1 and ::1.
  static constexpr const char* kSecret = "tests-shared-secret";
  /// The shared secret over TLS.
  static constexpr const char* kTlsSecret = "radsec";

  /// Starts a server with the default options (UDP on 127.0.0.1 only) and
  /// waits (at most about 15 seconds; with TLS the certificates come first,
  /// at most 5 seconds each) until every listener answers a probe. On
  /// failure `running()` is false and `failure()` says why.
  FreeRadiusServer();
  explicit FreeRadiusServer(FreeRadiusOptions options);
  ~FreeRadiusServer();
  FreeRadiusServer(const FreeRadiusServer&) = delete;
  FreeRadiusServer& operator=(const FreeRadiusServer&) = delete;

  bool running() const { return process_.pid() > 0 && failure_.empty(); }
  /// Its process id while it runs (to stop it with SIGSTOP, say).
  pid_t pid() const { return process_.pid(); }
  const std::string& failure() const { return failure_; }
  const FreeRadiusOptions& options() const { return options_; }
  /// The UDP port (on 127.0.0.1 and/or ::1).
  std::uint16_t port() const { return port_; }
  /// The TCP port of RADIUS over TLS, 0 without options().tls.
  std::uint16_t tls_port() const { return tls_port_; }
  /// Paths of the certificates; empty without options().tls.
  const TlsFiles& tls_files() const { return tls_files_; }
  /// The server's own output (debug mode) since it last started, for
  /// messages of failing tests.
  std::string output() const { return dir_.read("freeradius.out"); }

  /// Stops the server (at most about 5 seconds, then it is killed); ports,
  /// directory and certificates stay. Afterwards `running()` is false.
  void stop();
  /// Stops the server if it runs and starts it again on the same ports with
  /// the same configuration, waiting as the constructor does. Returns
  /// `running()`; the ports may have been taken in between.
  bool restart();

 private:
  bool pick_ports();
  bool make_certificates();
  bool write_configuration();
  bool start();
  bool answers_probes();
  bool answers_udp_probe(int family);
  bool accepts_tcp(int family);

  FreeRadiusOptions options_;
  TempDir dir_;
  TlsFiles tls_files_;
  ServerProcess process_;
  std::uint16_t port_ = 0;
  std::uint16_t tls_port_ = 0;
  std::string failure_;
};

/// The loopback address (127.0.0.1 or ::1) of `family` with `port`, and its
/// size, for sockets that talk to a test server.
std::pair<sockaddr_storage, socklen_t> loopback(int family, std::uint16_t port);

/// A port of socket `type` (SOCK_DGRAM, SOCK_STREAM) free on loopback of
/// every family in `families` a moment ago; 0 when none was found.
std::uint16_t free_port(const std::vector<int>& families, int type);

}  // namespace vantorix::testing
