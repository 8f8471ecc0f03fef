#include "platform/system.h"

#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/native.h"

namespace vantorix {

int current_process_id() { return static_cast<int>(::getpid()); }

std::tm local_time(std::time_t now) {
  std::tm broken{};
  ::localtime_r(&now, &broken);
  return broken;
}

std::string system_directory() { return "/etc"; }

char path_separator() { return '/'; }

void native_sleep_milliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t native_monotonic_milliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool native_random_bytes(std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t got = ::getrandom(out + done, size - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::string account_name() {
  const uid_t uid = ::geteuid();
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    return found->pw_name;
  }
  return "uid " + std::to_string(uid);
}

bool system_log_available() { return true; }

namespace {

constexpr const char* kSystemLogPath = "/dev/log";
// The longest line sent; the log's own lines are shorter.
constexpr std::size_t kMaxSystemLogLine = 8192;

// The datagram socket to the system log, connected to /dev/log; -1 until a
// connect has succeeded. Unlike syslog(3), which blocks while the daemon's
// queue is full, it never waits: an authentication must not hang on it.
int g_system_log = -1;

bool connect_system_log(std::string& reason) {
  if (g_system_log >= 0) return true;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, kSystemLogPath);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    reason = std::string(kSystemLogPath) + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  g_system_log = fd;
  return true;
}

}  // namespace

bool system_log(bool error, const char* message, int wait_ms, std::string& reason) {
  // What syslog(3) sends: "<priority>Mmm dd hh:mm:ss ident[pid]: message".
  char time[32] = "";
  const std::tm now = local_time(std::time(nullptr));
  std::strftime(time, sizeof time, "%b %e %H:%M:%S", &now);
  char line[kMaxSystemLogLine];
  const int length = std::snprintf(line, sizeof line, "<%d>%s vantorix[%d]: %s", LOG_MAIL | (error ? LOG_ERR : LOG_INFO),
                                   time, current_process_id(), message);
  if (length < 0) return true;
  const std::size_t size = std::min(static_cast<std::size_t>(length), sizeof line - 1);
  // A daemon that was restarted is reached on a new connection, once.
  const std::int64_t deadline = native_monotonic_milliseconds() + wait_ms;
  for (int attempt = 0; attempt < 2;) {
    if (!connect_system_log(reason)) return false;
    if (::send(g_system_log, line, size, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return true;
    const int code = errno;
    reason = std::string(kSystemLogPath) + ": " + std::strerror(code);
    if (code == EINTR) continue;
    if (code == EAGAIN || code == EWOULDBLOCK || code == ENOBUFS) {
      // Its queue is full: wait for room, as long as allowed.
      const std::int64_t left = deadline - native_monotonic_milliseconds();
      pollfd room{g_system_log, POLLOUT, 0};
      if (left <= 0 || ::poll(&room, 1, static_cast<int>(left)) <= 0) return false;
      continue;
    }
    ::close(g_system_log);
    g_system_log = -1;
    ++attempt;
  }
  return false;
}

bool disable_core_dumps() {
  const struct rlimit none {0, 0};
  bool done = ::setrlimit(RLIMIT_CORE, &none) == 0;
  // Not dumpable also keeps other processes of the same account from reading
  // the memory through /proc or a debugger.
  done = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && done;
  return done;
}

bool native_output_pipe_closed() { return errno == EPIPE; }

void ignore_write_signals() {
  ::signal(SIGXFSZ, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace vantorix
