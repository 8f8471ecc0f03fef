// Runs the real program (or any command) as a child process for tests:
// feeds its standard input, collects its output, and never waits for ever.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vantorix::testing {

struct ProcessResult {
  int exit_status = -1;   // exit status, or -1 when it did not exit normally
  int signal = 0;         // the signal that ended it, 0 when none
  bool timed_out = false; // killed because it ran past the time-out
  bool core_dumped = false; // the signal that ended it left a core file
  std::string out;        // everything written to standard output
  std::string err;        // everything written to standard error
};

/// A resource limit (RLIMIT_FSIZE, RLIMIT_CORE, ...) set, soft and hard, in the child.
struct ResourceLimit {
  int resource = 0;
  unsigned long long value = 0;
};

struct ProcessOptions {
  std::string working_directory;  // empty: the test's own
  std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
  std::chrono::milliseconds timeout{20000};
  std::vector<ResourceLimit> limits;
  /// Signals the child starts with ignored, as a parent may leave them (SIGPIPE, SIGXFSZ).
  std::vector<int> ignored_signals;
  /// Paths the child sees read-only: bind-mounted so in a mount namespace of
  /// its own, which ends with it (needs root; see read_only_mounts_work).
  std::vector<std::string> read_only_paths;
  /// A directory the child sees as /dev, bind-mounted likewise (needs root):
  /// one holding a datagram socket "log" receives what the child sends to
  /// the system log.
  std::string dev_directory;
  /// The child's standard output is a pipe whose reading end is closed at
  /// once, as when a parent has gone; `out` stays empty.
  bool close_output = false;
  /// Called with the child's process id as soon as it runs.
  std::function<void(int pid)> on_start;
};

/// Options that run the child in `directory` and change nothing else.
ProcessOptions in_directory(const std::string& directory);

/// True when VANTORIX_TEXT_STREAMS_CRLF=1 is in the environment: the
/// program under test is a Windows program, whose standard output and error
/// are text streams.
bool text_streams_crlf();

/// What a Windows text stream wrote, as its reader sees it: each CR LF as
/// one line feed.
std::string from_text_stream(const std::string& text);

/// Runs `argv` (argv[0] is the path of the program), writes `input` to its
/// standard input and closes it, and waits until it ends or the time-out
/// passes (then it is killed). With VANTORIX_TEXT_STREAMS_CRLF=1 in the
/// environment (a Windows program under test) its standard output and error
/// are read as Windows text streams: each CR LF comes back as a line feed.
ProcessResult run_process(const std::vector<std::string>& argv, const std::string& input,
                          const ProcessOptions& options = {});

/// Runs each of `argvs` with its input (`inputs[i]`, or "" when shorter) at
/// the same time, each on a thread of its own, and returns their results in
/// order. Every run keeps its own time-out.
std::vector<ProcessResult> run_processes_at_once(const std::vector<std::vector<std::string>>& argvs,
                                                 const std::vector<std::string>& inputs,
                                                 const ProcessOptions& options = {});

/// True when this machine lets a child see paths read-only (ProcessOptions::read_only_paths).
bool read_only_mounts_work();

/// The path of the built vantorix program, or VANTORIX_BINARY_OVERRIDE when
/// that is set: any command that runs the program, such as a script that runs
/// the Windows program under Wine with the arguments it is given.
std::string vantorix_binary();

/// The root of the source tree (for test data kept in the repository).
std::string source_dir();

}  // namespace vantorix::testing
