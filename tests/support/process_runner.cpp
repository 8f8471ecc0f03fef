#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

extern char** environ;

namespace vantorix::testing {
namespace {

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// The child's environment: this process's, with the options' entries added or replaced.
std::vector<std::string> child_environment(const ProcessOptions& options) {
  std::map<std::string, std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos) entries[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : options.environment) entries[name] = value;
  std::vector<std::string> result;
  for (const auto& [name, value] : entries) result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The helpers below run in the child, between fork and exec: only system
// calls, no allocation, so that runs started from several threads are safe.
[[noreturn]] void child_fails(const char* what, int status) {
  if (::write(2, what, std::strlen(what)) < 0) _exit(status);
  _exit(status);
}

bool make_read_only(const std::vector<std::string>& paths) {
  if (paths.empty()) return true;
  if (::unshare(CLONE_NEWNS) != 0) return false;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  for (const std::string& path : paths) {
    if (::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    if (::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) return false;
  }
  return true;
}

bool bind_dev(const std::string& directory) {
  if (directory.empty()) return true;
  if (::unshare(CLONE_NEWNS) != 0) return false;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return ::mount(directory.c_str(), "/dev", nullptr, MS_BIND, nullptr) == 0;
}

}  // namespace

// What a Windows text stream wrote, as its reader sees it: every line feed
// went out as CR LF, so every CR LF is one line feed (a CR the program wrote
// itself before a line feed stays, as "\r\r\n" becomes "\r\n").
std::string from_text_stream(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

bool text_streams_crlf() {
  const char* value = std::getenv("VANTORIX_TEXT_STREAMS_CRLF");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

ProcessOptions in_directory(const std::string& directory) {
  ProcessOptions options;
  options.working_directory = directory;
  return options;
}

ProcessResult run_process(const std::vector<std::string>& argv, const std::string& input,
                          const ProcessOptions& options) {
  ProcessResult result;
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    result.err = "pipe failed";
    return result;
  }
  // A child that stops reading must not kill the test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arg_texts = argv;
  std::vector<char*> args = pointers_to(arg_texts);
  std::vector<std::string> env_texts = child_environment(options);
  std::vector<char*> env = pointers_to(env_texts);

  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0) _exit(126);
    if (!make_read_only(options.read_only_paths)) child_fails("process_runner: read-only mount failed\n", 125);
    if (!bind_dev(options.dev_directory)) child_fails("process_runner: the mount on /dev failed\n", 125);
    for (const ResourceLimit& limit : options.limits) {
      const struct rlimit value {static_cast<rlim_t>(limit.value), static_cast<rlim_t>(limit.value)};
      if (::setrlimit(limit.resource, &value) != 0) child_fails("process_runner: setrlimit failed\n", 125);
    }
    ::signal(SIGPIPE, SIG_DFL);
    for (int signal : options.ignored_signals) ::signal(signal, SIG_IGN);
    ::execve(args[0], args.data(), env.data());
    _exit(127);
  }
  if (options.on_start && pid > 0) options.on_start(static_cast<int>(pid));
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  set_nonblocking(in_pipe[1]);
  set_nonblocking(out_pipe[0]);
  set_nonblocking(err_pipe[0]);

  int in_fd = in_pipe[1];
  std::size_t written = 0;
  if (input.empty()) {
    ::close(in_fd);
    in_fd = -1;
  }
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  if (options.close_output) {
    ::close(out_fd);
    out_fd = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  char chunk[65536];
  while (out_fd >= 0 || err_fd >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3];
    int n = 0;
    int in_index = -1, out_index = -1, err_index = -1;
    if (in_fd >= 0) { in_index = n; fds[n++] = {in_fd, POLLOUT, 0}; }
    if (out_fd >= 0) { out_index = n; fds[n++] = {out_fd, POLLIN, 0}; }
    if (err_fd >= 0) { err_index = n; fds[n++] = {err_fd, POLLIN, 0}; }
    int ready = ::poll(fds, n, static_cast<int>(std::min<long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    if (in_index >= 0 && fds[in_index].revents != 0) {
      ssize_t w = ::write(in_fd, input.data() + written, input.size() - written);
      if (w > 0) written += static_cast<std::size_t>(w);
      if (w < 0 && errno != EAGAIN) written = input.size();  // the child closed its input
      if (written >= input.size()) { ::close(in_fd); in_fd = -1; }
    }
    auto drain = [&](int& fd, int index, std::string& sink) {
      if (index < 0 || fds[index].revents == 0) return;
      ssize_t r = ::read(fd, chunk, sizeof chunk);
      if (r > 0) sink.append(chunk, static_cast<std::size_t>(r));
      else if (r == 0 || errno != EAGAIN) { ::close(fd); fd = -1; }
    };
    drain(out_fd, out_index, result.out);
    drain(err_fd, err_index, result.err);
  }
  if (in_fd >= 0) ::close(in_fd);
  if (out_fd >= 0) ::close(out_fd);
  if (err_fd >= 0) ::close(err_fd);

  int status = 0;
  // Output closed: the child is ending; give it a bounded moment, then kill it.
  for (int i = 0; i < 500; ++i) {
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (i == 499 || result.timed_out) {
      if (!result.timed_out) result.timed_out = true;
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    ::usleep(10000);
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
    result.core_dumped = WCOREDUMP(status);
  }
  if (text_streams_crlf()) {
    result.out = from_text_stream(result.out);
    result.err = from_text_stream(result.err);
  }
  return result;
}

std::vector<ProcessResult> run_processes_at_once(const std::vector<std::vector<std::string>>& argvs,
                                                 const std::vector<std::string>& inputs,
                                                 const ProcessOptions& options) {
  std::vector<ProcessResult> results(argvs.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < argvs.size(); ++i) {
    threads.emplace_back([&, i] { results[i] = run_process(argvs[i], i < inputs.size() ? inputs[i] : "", options); });
  }
  for (std::thread& thread : threads) thread.join();
  return results;
}

bool read_only_mounts_work() {
  ProcessOptions options;
  options.read_only_paths = {"/tmp"};
  options.timeout = std::chrono::seconds(10);
  // Writing must fail inside, and the mount must not be seen outside.
  return run_process({"/bin/sh", "-c", "! touch /tmp/.vantorix-ro-probe.$$ 2>/dev/null"}, "", options).exit_status == 0;
}

std::string vantorix_binary() {
  if (const char* env = std::getenv("VANTORIX_BINARY_OVERRIDE")) return env;
#ifdef VANTORIX_BINARY
  return VANTORIX_BINARY;
#else
  return "vantorix";
#endif
}

std::string source_dir() {
#ifdef VANTORIX_SOURCE_DIR
  return VANTORIX_SOURCE_DIR;
#else
  return ".";
#endif
}

}  // namespace vantorix::testing
