#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vantorix::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
    : timeout_(options.timeout) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    return;
  }
  ::signal(SIGPIPE, SIG_IGN);
  pid_ = ::fork();
  if (pid_ == 0) {
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
  in_ = in_pipe[1];
  out_ = out_pipe[0];
  err_ = err_pipe[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : {in_, out_, err_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool ChildProcess::send(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t w = ::write(in_, text.data() + done, text.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<std::size_t>(w);
  }
  return true;
}

std::optional<std::string> ChildProcess::read_line(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (text_streams_crlf() && !line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || out_ < 0) return std::nullopt;
    pollfd entry{out_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t r = ::read(out_, chunk, sizeof chunk);
    if (r <= 0) return std::nullopt;
    pending_.append(chunk, static_cast<std::size_t>(r));
  }
}

ProcessResult ChildProcess::finish() {
  ProcessResult result;
  if (in_ >= 0) {
    ::close(in_);
    in_ = -1;
  }
  result.out = pending_;
  pending_.clear();
  const auto deadline = std::chrono::steady_clock::now() + timeout_;
  for (int* fd : {&out_, &err_}) {
    std::string& sink = fd == &out_ ? result.out : result.err;
    while (*fd >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        result.timed_out = true;
        break;
      }
      pollfd entry{*fd, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      const ssize_t r = ::read(*fd, chunk, sizeof chunk);
      if (r <= 0) {
        ::close(*fd);
        *fd = -1;
      } else {
        sink.append(chunk, static_cast<std::size_t>(r));
      }
    }
  }
  if (result.timed_out) ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (text_streams_crlf()) {
    result.out = from_text_stream(result.out);
    result.err = from_text_stream(result.err);
  }
  return result;
}

}  // namespace vantorix::testing
