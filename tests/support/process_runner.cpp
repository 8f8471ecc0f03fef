#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vantorix::testing {
namespace {

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

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

}  // namespace

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

  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(args[0], args.data());
    _exit(127);
  }
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
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (text_streams_crlf()) {
    result.out = from_text_stream(result.out);
    result.err = from_text_stream(result.err);
  }
  return result;
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
