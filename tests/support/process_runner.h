// Runs the real program (or any command) as a child process for tests:
// feeds its standard input, collects its output, and never waits for ever.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace vantorix::testing {

struct ProcessResult {
  int exit_status = -1;   // exit status, or -1 when it did not exit normally
  int signal = 0;         // the signal that ended it, 0 when none
  bool timed_out = false; // killed because it ran past the time-out
  std::string out;        // everything written to standard output
  std::string err;        // everything written to standard error
};

struct ProcessOptions {
  std::string working_directory;  // empty: the test's own
  std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
  std::chrono::milliseconds timeout{20000};
};

/// Options that run the child in `directory` and change nothing else.
ProcessOptions in_directory(const std::string& directory);

/// Runs `argv` (argv[0] is the path of the program), writes `input` to its
/// standard input and closes it, and waits until it ends or the time-out
/// passes (then it is killed). With VANTORIX_TEXT_STREAMS_CRLF=1 in the
/// environment (a Windows program under test) its standard output and error
/// are read as Windows text streams: each CR LF comes back as a line feed.
ProcessResult run_process(const std::vector<std::string>& argv, const std::string& input,
                          const ProcessOptions& options = {});

/// The path of the built vantorix program, or VANTORIX_BINARY_OVERRIDE when
/// that is set: any command that runs the program, such as a script that runs
/// the Windows program under Wine with the arguments it is given.
std::string vantorix_binary();

/// The root of the source tree (for test data kept in the repository).
std::string source_dir();

}  // namespace vantorix::testing
