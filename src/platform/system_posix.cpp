#include "platform/system.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

namespace vantorix {

PlatformHooks& platform_hooks() {
  static PlatformHooks hooks;
  return hooks;
}

int current_process_id() { return static_cast<int>(::getpid()); }

std::tm local_time_now() {
  std::time_t now = std::time(nullptr);
  std::tm broken{};
  ::localtime_r(&now, &broken);
  return broken;
}

std::string system_directory() { return "/etc"; }

void sleep_milliseconds(int milliseconds) {
  if (platform_hooks().sleep) {
    platform_hooks().sleep(milliseconds);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

bool fill_from_kernel(std::uint8_t* out, std::size_t size) {
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

// Every request takes 16 bytes; drawing them from the kernel 1 KiB at a time
// saves a system call per request. Bytes handed out are wiped from the pool.
struct RandomPool {
  std::array<std::uint8_t, 1024> bytes{};
  std::size_t used = 1024;  // empty at start
};

}  // namespace

bool random_bytes(std::span<std::uint8_t> out) {
  if (platform_hooks().random) return platform_hooks().random(out);
  static RandomPool pool;
  if (out.size() > pool.bytes.size()) return fill_from_kernel(out.data(), out.size());
  if (pool.bytes.size() - pool.used < out.size()) {
    if (!fill_from_kernel(pool.bytes.data(), pool.bytes.size())) return false;
    pool.used = 0;
  }
  std::uint8_t* from = pool.bytes.data() + pool.used;
  std::copy(from, from + out.size(), out.begin());
  std::fill(from, from + out.size(), std::uint8_t{0});
  pool.used += out.size();
  return true;
}

std::optional<FileStatus> file_status(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStatus status;
  status.size = static_cast<std::int64_t>(st.st_size);
  status.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  status.device = static_cast<std::uint64_t>(st.st_dev);
  status.inode = static_cast<std::uint64_t>(st.st_ino);
  return status;
}

bool append_private(const std::string& path, std::string_view data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  // One write call: an O_APPEND write of a regular file is placed whole at the end,
  // so records of two processes never interleave.
  ssize_t written;
  do {
    written = ::write(fd, data.data(), data.size());
  } while (written < 0 && errno == EINTR);
  ::close(fd);
  return written == static_cast<ssize_t>(data.size());
}

}  // namespace vantorix
