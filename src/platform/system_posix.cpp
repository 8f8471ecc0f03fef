#include "platform/system.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/native.h"

namespace vantorix {

int current_process_id() { return static_cast<int>(::getpid()); }

std::tm local_time_now() {
  std::time_t now = std::time(nullptr);
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

bool file_seek(std::FILE* file, std::int64_t offset) {
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace vantorix
