#include "platform/files.h"

#include <windows.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/windows_error.h"

namespace vantorix {
namespace {

constexpr const char* kNotRegularReason = "Not a regular file";
constexpr const char* kLockedReason = "Locked by another process";
constexpr const char* kNoPrivateFileReason = "An access list for the owner alone could not be made";
constexpr auto kLockPoll = std::chrono::milliseconds(5);
// How long an append waits for another holder of the lock (a rotation, another append).
constexpr int kAppendLockWaitMs = 1000;
// FILETIME counts 100-nanosecond steps since 1601-01-01; the epoch is this many steps later.
constexpr std::int64_t kEpochInFileTime = 116444736000000000LL;
// The byte that stands for the advisory lock: far past any real end of file,
// since a Windows lock keeps others from the bytes it covers.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
// Every sharing mode: the file may be read, written, renamed and removed by
// others while it is open, as on POSIX systems.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A security descriptor whose access list grants the user this process runs
// as reading and writing, and nobody anything else. The list is protected,
// so that nothing of the directory's list (which may well let every user
// write) is inherited: the Windows form of mode 0600.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    // DWORD elements keep the SID and the list aligned as the system wants them.
    user_.resize(size / sizeof(DWORD) + 1);
    const bool have_user = size != 0 && ::GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    ::CloseHandle(token);
    if (!have_user) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid);
    acl_.resize(acl_size / sizeof(DWORD) + 1);
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    ready_ = ::InitializeAcl(acl, acl_size, ACL_REVISION) &&
             ::AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE, sid) &&
             ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
             ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
             ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
  OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

  /// The attributes for CreateFile, or null when the descriptor could not be made.
  SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }

 private:
  std::vector<DWORD> user_;
  std::vector<DWORD> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

SECURITY_ATTRIBUTES* owner_only_attributes() {
  static OwnerOnlySecurity security;  // the process's user never changes
  return security.attributes();
}

FileErrorKind kind_of(DWORD code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_IO_PENDING:
      return FileErrorKind::busy;
    case ERROR_WRITE_PROTECT:
      return FileErrorKind::read_only;
    case ERROR_ACCESS_DENIED:
      return FileErrorKind::no_permission;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileErrorKind::no_space;
    case ERROR_FILE_TOO_LARGE:
      return FileErrorKind::too_large;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileErrorKind::missing;
    default:
      return FileErrorKind::other;
  }
}

bool fail(FileError& error, DWORD code) {
  error.kind = kind_of(code);
  error.reason = windows_error_text(code);
  return false;
}

bool fail(FileError& error, FileErrorKind kind, const char* reason) {
  error.kind = kind;
  error.reason = reason;
  return false;
}

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::uint64_t join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

std::optional<FileStatus> status_of(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information)) return std::nullopt;
  FileStatus status;
  status.size = static_cast<std::int64_t>(join(information.nFileSizeHigh, information.nFileSizeLow));
  const auto written = static_cast<std::int64_t>(
      join(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime));
  status.modified_ns = (written - kEpochInFileTime) * 100;
  status.device = information.dwVolumeSerialNumber;
  status.inode = join(information.nFileIndexHigh, information.nFileIndexLow);
  status.regular = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                   ::GetFileType(file) == FILE_TYPE_DISK;
  // Reading an access list for who else may open the file is left undone:
  // the files the program creates are given one for their owner alone.
  return status;
}

bool is_directory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Opens `path` for `access`, creating it for its owner alone when `create`.
// A directory, or a device such as NUL, CON or COM1 (names that open devices
// wherever they stand in a path), is refused as not regular.
HANDLE open_regular(const std::string& path, DWORD access, bool create, FileError& error) {
  if (is_directory(path)) {
    fail(error, FileErrorKind::not_regular, kNotRegularReason);
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES* security = create ? owner_only_attributes() : nullptr;
  // Without an owner-only descriptor a new file would take the directory's
  // access list: then only a file that is already there is opened.
  const DWORD disposition = create && security != nullptr ? OPEN_ALWAYS : OPEN_EXISTING;
  HANDLE file = ::CreateFileA(path.c_str(), access, kShareAll, security, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (create && security == nullptr && code == ERROR_FILE_NOT_FOUND) {
      fail(error, FileErrorKind::no_permission, kNoPrivateFileReason);
    } else {
      fail(error, code);
    }
    return INVALID_HANDLE_VALUE;
  }
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    fail(error, FileErrorKind::not_regular, kNotRegularReason);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// An OVERLAPPED that places a synchronous read or write at `offset`; both
// halves 0xFFFFFFFF place a write at the end of the file.
OVERLAPPED at_offset(std::uint64_t offset) {
  OVERLAPPED place{};
  place.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  place.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return place;
}

constexpr std::uint64_t kEndOfFile = 0xFFFFFFFFFFFFFFFFull;

// The advisory lock of an open file, polled so that a holder that never
// lets go costs a bounded wait.
bool lock_handle(HANDLE file, int wait_ms, FileError& error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    OVERLAPPED place = at_offset(join(kLockOffsetHigh, kLockOffsetLow));
    if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place)) return true;
    const DWORD code = ::GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) return fail(error, code);
    if (std::chrono::steady_clock::now() >= deadline) return fail(error, FileErrorKind::busy, kLockedReason);
    std::this_thread::sleep_for(kLockPoll);
  }
}

// Closes `file`, releasing its lock at once rather than whenever the system
// gets round to it after the close; harmless when the lock was not taken.
void close_handle(HANDLE file) {
  OVERLAPPED place = at_offset(join(kLockOffsetHigh, kLockOffsetLow));
  ::UnlockFileEx(file, 0, 1, 0, &place);
  ::CloseHandle(file);
}

}  // namespace

const char* text_file_line_end() { return "\r\n"; }

bool open_files_stay_replaceable() { return false; }

bool is_transient(FileErrorKind kind) { return kind == FileErrorKind::busy; }

std::optional<FileStatus> file_status(const std::string& path) {
  // Reading attributes only: no sharing mode of another process stands in
  // the way. Backup semantics let a directory be opened too, as stat() would.
  HANDLE file = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileStatus> status = status_of(file);
  ::CloseHandle(file);
  return status;
}

std::optional<WriteProblem> file_write_problem(const std::string& path) {
  WriteProblem problem;
  if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    problem.exists = true;
    HANDLE file = open_regular(path, FILE_APPEND_DATA, false, problem.error);
    if (file == INVALID_HANDLE_VALUE) return problem;
    ::CloseHandle(file);
    return std::nullopt;
  }
  // A missing directory is ERROR_PATH_NOT_FOUND. Whether the directory's
  // access list lets this account create the file shows only when it does.
  const DWORD code = ::GetLastError();
  if (code == ERROR_FILE_NOT_FOUND) return std::nullopt;
  fail(problem.error, code);
  return problem;
}

bool append_private(const std::string& path, std::string_view data) {
  if (data.size() > MAXDWORD) return false;
  // Append access without write access puts every write at the end of the
  // file as one piece; read access is what the lock needs. The lock is taken
  // around the write as well, since not every file system keeps appends of
  // two processes apart (network shares, Wine), and it keeps the write out
  // of a rotation in progress. A lock that does not come free within the
  // wait is not waited for: the line is written all the same.
  FileError error;
  HANDLE file = open_regular(path, GENERIC_READ | FILE_APPEND_DATA, true, error);
  if (file == INVALID_HANDLE_VALUE) return false;
  lock_handle(file, kAppendLockWaitMs, error);
  OVERLAPPED place = at_offset(kEndOfFile);
  DWORD written = 0;
  const bool wrote = ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, &place);
  close_handle(file);
  return wrote && written == data.size();
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
  // Write access as well as append access, so that a record cut short can be taken back.
  const DWORD access = mode == Mode::append ? GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_DATA : GENERIC_READ;
  HANDLE file = open_regular(path, access, mode == Mode::append, error);
  if (file == INVALID_HANDLE_VALUE) return {};
  return OpenFile(reinterpret_cast<std::intptr_t>(file));
}

std::optional<FileStatus> OpenFile::status() const {
  if (!is_open()) return std::nullopt;
  return status_of(handle_of(handle_));
}

bool OpenFile::lock(int wait_ms, FileError& error) { return lock_handle(handle_of(handle_), wait_ms, error); }

void OpenFile::unlock() {
  if (!is_open()) return;
  OVERLAPPED place = at_offset(join(kLockOffsetHigh, kLockOffsetLow));
  ::UnlockFileEx(handle_of(handle_), 0, 1, 0, &place);
}

std::int64_t OpenFile::read_at(std::int64_t offset, char* out, std::size_t size, FileError& error) const {
  OVERLAPPED place = at_offset(static_cast<std::uint64_t>(offset));
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!::ReadFile(handle_of(handle_), out, wanted, &got, &place)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_HANDLE_EOF) return 0;
    fail(error, code);
    return -1;
  }
  return static_cast<std::int64_t>(got);
}

bool OpenFile::append(std::string_view data, FileError& error) {
  while (!data.empty()) {
    OVERLAPPED place = at_offset(kEndOfFile);
    const DWORD wanted = data.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!::WriteFile(handle_of(handle_), data.data(), wanted, &written, &place)) return fail(error, ::GetLastError());
    if (written == 0) return fail(error, ERROR_DISK_FULL);  // no progress: as good as a full disk
    data.remove_prefix(written);
  }
  return true;
}

bool OpenFile::truncate(std::int64_t size, FileError& error) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = size;
  return ::SetFileInformationByHandle(handle_of(handle_), FileEndOfFileInfo, &end, sizeof end) ||
         fail(error, ::GetLastError());
}

void OpenFile::close() {
  if (!is_open()) return;
  close_handle(handle_of(handle_));
  handle_ = kClosed;
}

bool append_shared(OpenFile& file, std::string_view data, FileError& error) {
  // A lock that does not come free is not waited for longer: the data is written all the same.
  FileError busy;
  const bool locked = file.lock(kAppendLockWaitMs, busy);
  const bool written = file.append(data, error);
  if (locked) file.unlock();
  return written;
}

bool replace_file(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace vantorix
