// The pyrad test server (tests/pyrad/pyrad_server.py) on 127.0.0.1 at a port
// of the system's choosing: replies from an encoder the program does not
// share, for the cases FreeRADIUS will not send (see the script for the
// users it knows). Needs Debian's python3-pyrad, run by /usr/bin/python3.
#pragma once

#include <cstdint>
#include <string>

#include "server_process.h"
#include "temp_dir.h"

namespace vantorix::testing {

class PyradServer {
 public:
  static constexpr const char* kSecret = "pyrad-shared-secret";

  /// Starts the server and waits (at most 10 seconds) until it listens; on
  /// failure `running()` is false and `failure()` says why.
  PyradServer();

  bool running() const { return port_ != 0 && failure_.empty(); }
  const std::string& failure() const { return failure_; }
  std::uint16_t port() const { return port_; }
  /// How many Access-Requests for `user` have reached it.
  int requests_for(const std::string& user) const;
  /// Its log of requests and anything it wrote, for messages of failing tests.
  std::string output() const { return dir_.read("pyrad.out") + dir_.read("requests.log"); }

 private:
  TempDir dir_;
  ServerProcess process_;
  std::uint16_t port_ = 0;
  std::string failure_;
};

}  // namespace vantorix::testing
