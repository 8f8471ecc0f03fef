// A server program that a test runs in the background (radsecproxy, the
// pyrad server): started with its standard output and error in a file,
// ended when the object goes.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace vantorix::testing {

class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess() { stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  /// Starts `argv` (argv[0] is the path of the program; any running one is
  /// stopped first) with standard input from /dev/null and standard output
  /// and error appended to `output_path`.
  /// False when it could not be started.
  bool start(const std::vector<std::string>& argv, const std::string& output_path);
  /// True while the program runs; collects it when it has ended.
  bool running();
  /// Its process id since `start`, until `stop` or `running` found it ended.
  pid_t pid() const { return pid_; }
  /// SIGTERM, then SIGKILL after 5 seconds; waits for it to end.
  void stop();

 private:
  pid_t pid_ = -1;
};

/// Calls `ready` every 20 ms until it is true or `milliseconds` have passed.
bool wait_until(const std::function<bool()>& ready, int milliseconds);

}  // namespace vantorix::testing
