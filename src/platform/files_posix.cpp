#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace vantorix {
namespace {

constexpr const char* kNotRegularReason = "Not a regular file";
constexpr const char* kLockedReason = "Locked by another process";
constexpr auto kLockPoll = std::chrono::milliseconds(5);

FileErrorKind kind_of(int code) {
  switch (code) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EBUSY:
    case ETXTBSY:
    case EINTR:
    case ENOLCK:
    case EDEADLK:
      return FileErrorKind::busy;
    case EROFS:
      return FileErrorKind::read_only;
    case EACCES:
    case EPERM:
      return FileErrorKind::no_permission;
    case ENOSPC:
    case EDQUOT:
      return FileErrorKind::no_space;
    case EFBIG:
      return FileErrorKind::too_large;
    case EISDIR:
    case ENXIO:  // a FIFO without a reader, opened for writing without blocking
    case ENODEV:
      return FileErrorKind::not_regular;
    case ENOENT:
    case ENOTDIR:
      return FileErrorKind::missing;
    default:
      return FileErrorKind::other;
  }
}

bool fail(FileError& error, int code) {
  error.kind = kind_of(code);
  error.reason = std::strerror(code);
  return false;
}

bool fail(FileError& error, FileErrorKind kind, const char* reason) {
  error.kind = kind;
  error.reason = reason;
  return false;
}

FileStatus status_of(const struct stat& st) {
  FileStatus status;
  status.size = static_cast<std::int64_t>(st.st_size);
  status.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  status.device = static_cast<std::uint64_t>(st.st_dev);
  status.inode = static_cast<std::uint64_t>(st.st_ino);
  status.regular = S_ISREG(st.st_mode);
  status.others_may_read = (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
  status.others_may_write = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return status;
}

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

const char* text_file_line_end() { return "\n"; }

bool open_files_stay_replaceable() { return true; }

bool is_transient(FileErrorKind kind) { return kind == FileErrorKind::busy; }

std::optional<FileStatus> file_status(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return status_of(st);
}

std::optional<WriteProblem> file_write_problem(const std::string& path) {
  WriteProblem problem;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    problem.exists = true;
    if (!S_ISREG(st.st_mode)) {
      fail(problem.error, FileErrorKind::not_regular, kNotRegularReason);
      return problem;
    }
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      fail(problem.error, errno);
      return problem;
    }
    ::close(fd);
    return std::nullopt;
  }
  if (errno != ENOENT) {
    fail(problem.error, errno);
    return problem;
  }
  // Not there: its directory must be there and let this account add a file.
  const std::size_t slash = path.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return std::nullopt;
  fail(problem.error, errno);
  return problem;
}

bool append_private(const std::string& path, std::string_view data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return false;
  // One write call: an O_APPEND write of a regular file is placed whole at the
  // end, so lines of two processes never interleave.
  ssize_t written;
  do {
    written = ::write(fd, data.data(), data.size());
  } while (written < 0 && errno == EINTR);
  ::close(fd);
  return written == static_cast<ssize_t>(data.size());
}

OpenFile::~OpenFile() { close(); }

OpenFile::OpenFile(OpenFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kClosed; }

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = kClosed;
  }
  return *this;
}

OpenFile OpenFile::open(const std::string& path, Mode mode, FileError& error) {
  error = {};
  // Not blocking: opening a FIFO would otherwise wait for its other end.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  flags |= mode == Mode::append ? O_RDWR | O_APPEND | O_CREAT : O_RDONLY;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    fail(error, errno);
    return {};
  }
  OpenFile file(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    fail(error, errno);
    return {};
  }
  if (!S_ISREG(st.st_mode)) {
    fail(error, FileErrorKind::not_regular, kNotRegularReason);
    return {};
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return file;
}

std::optional<FileStatus> OpenFile::status() const {
  struct stat st {};
  if (!is_open() || ::fstat(fd_of(handle_), &st) != 0) return std::nullopt;
  return status_of(st);
}

bool OpenFile::lock(int wait_ms, FileError& error) {
  // Polled rather than blocking, so that a holder that never lets go costs a
  // bounded wait.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    if (::flock(fd_of(handle_), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return fail(error, errno);
    if (std::chrono::steady_clock::now() >= deadline) {
      return fail(error, FileErrorKind::busy, kLockedReason);
    }
    std::this_thread::sleep_for(kLockPoll);
  }
}

void OpenFile::unlock() {
  if (is_open()) ::flock(fd_of(handle_), LOCK_UN);
}

std::int64_t OpenFile::read_at(std::int64_t offset, char* out, std::size_t size, FileError& error) const {
  ssize_t got;
  do {
    got = ::pread(fd_of(handle_), out, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    fail(error, errno);
    return -1;
  }
  return static_cast<std::int64_t>(got);
}

bool OpenFile::append(std::string_view data, FileError& error) {
  while (!data.empty()) {
    ssize_t written = ::write(fd_of(handle_), data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(error, errno);
    }
    if (written == 0) return fail(error, ENOSPC);  // no progress: as good as a full disk
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool OpenFile::truncate(std::int64_t size, FileError& error) {
  int result;
  do {
    result = ::ftruncate(fd_of(handle_), static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  return result == 0 || fail(error, errno);
}

void OpenFile::close() {
  if (!is_open()) return;
  ::close(fd_of(handle_));
  handle_ = kClosed;
}

bool append_shared(OpenFile& file, std::string_view data, FileError& error) { return file.append(data, error); }

bool replace_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace vantorix
