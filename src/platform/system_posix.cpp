#include "platform/system.h"

#include <pwd.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
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

void system_log(bool error, const char* message) {
  static const bool opened = [] {
    ::openlog("vantorix", LOG_PID, LOG_MAIL);
    return true;
  }();
  (void)opened;
  ::syslog(error ? LOG_ERR : LOG_INFO, "%s", message);
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
