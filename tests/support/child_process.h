// A child process driven line by line, for tests that must change the world
// between two commands (stop a server, restart it) while the program runs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "process_runner.h"

namespace vantorix::testing {

class ChildProcess {
 public:
  /// Starts `argv` (argv[0] is the path of the program) as `options` say
  /// (working directory, environment; the time-out bounds `finish`).
  ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
  /// Kills the child if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  /// Writes `text` to the child's standard input.
  bool send(const std::string& text);

  /// The next line of its standard output without its line feed (nor the CR
  /// before it, from a Windows program: see text_streams_crlf), or nothing
  /// when none comes within `timeout` (or the output ends). `finish` reads
  /// the rest of the output as run_process does.
  std::optional<std::string> read_line(std::chrono::milliseconds timeout);

  /// Closes its standard input, collects the rest of its output and waits
  /// for it to end, within the options' time-out (then it is killed).
  ProcessResult finish();

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string pending_;  // output read but not yet returned as a line
  std::chrono::milliseconds timeout_;
};

}  // namespace vantorix::testing
