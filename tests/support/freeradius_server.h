// A real FreeRADIUS for integration tests: started in the foreground on
// 127.0.0.1 at a free port, with a throwaway configuration made from the
// files in tests/freeradius/ (one client, a users file, PAP), and stopped by
// its process id when the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "temp_dir.h"

namespace vantorix::testing {

class FreeRadiusServer {
 public:
  /// The shared secret of the one client, 127.0.0.1.
  static constexpr const char* kSecret = "tests-shared-secret";

  /// Starts the server and waits (at most about 15 seconds) until it answers
  /// a probe. On failure `running()` is false and `failure()` says why.
  FreeRadiusServer();
  ~FreeRadiusServer();
  FreeRadiusServer(const FreeRadiusServer&) = delete;
  FreeRadiusServer& operator=(const FreeRadiusServer&) = delete;

  bool running() const { return pid_ > 0 && failure_.empty(); }
  const std::string& failure() const { return failure_; }
  std::uint16_t port() const { return port_; }
  /// The server's own output (debug mode), for messages of failing tests.
  std::string output() const { return dir_.read("freeradius.out"); }

 private:
  bool start();
  bool answers_probe();
  void stop();

  TempDir dir_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  std::string failure_;
};

}  // namespace vantorix::testing
