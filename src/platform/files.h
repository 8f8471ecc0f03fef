// Files that several processes share: the log and the user file. An open
// regular file with an advisory lock, reads at an offset, appends that can be
// taken back, and failures sorted into the kinds the callers act on. One
// implementation per platform (files_posix.cpp, files_win32.cpp); the
// contracts below are what every one of them must keep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorix {

/// The line end of the text files the program writes for people to read (the
/// log): CR LF on Windows, where the tools expect it, a line feed elsewhere.
const char* text_file_line_end();

/// What the log and the user store need to know about a file to decide
/// whether to rotate it or to read it again.
struct FileStatus {
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;  // modification time, nanoseconds since the epoch
  std::uint64_t device = 0;      // device and inode together identify the file
  std::uint64_t inode = 0;
  bool regular = true;           // false for a directory, FIFO, device or socket
  // Whether accounts other than the owner may read or write it (POSIX: the
  // group and other permission bits; where the platform cannot tell: false).
  bool others_may_read = false;
  bool others_may_write = false;
  bool operator==(const FileStatus&) const = default;
};

/// True when `a` and `b` describe the same file (not necessarily the same content).
inline bool same_file(const FileStatus& a, const FileStatus& b) {
  return a.device == b.device && a.inode == b.inode;
}

/// Status of the file at `path` (following symbolic links), or nothing when
/// it cannot be read.
std::optional<FileStatus> file_status(const std::string& path);

/// Appends `data` to the file at `path` with a single write, creating the file
/// readable and writable by its owner only (0600) when it does not exist.
/// Returns true when every byte was written. A write past the file-size limit
/// fails like any other (once `ignore_write_signals` has run).
bool append_private(const std::string& path, std::string_view data);

/// Why a file operation failed, in the terms its caller acts on.
enum class FileErrorKind {
  none,
  busy,           // locked or busy elsewhere, or an interrupted call: a pause may cure it
  read_only,      // the file system is read-only
  no_permission,  // the account may not open or change the file
  no_space,       // the disk or the account's quota is full
  too_large,      // past the file-size limit of the process or of the file system
  not_regular,    // a directory, FIFO, device or socket
  missing,        // the file or a directory of its path does not exist
  other,          // anything else the system reports
};

/// Number of kinds, for callers that keep one flag per kind.
inline constexpr int kFileErrorKinds = static_cast<int>(FileErrorKind::other) + 1;

/// True for the kinds that a pause and another attempt may cure (`busy` only):
/// every other kind stays until someone changes the file, the disk or the limits.
bool is_transient(FileErrorKind kind);

struct FileError {
  FileErrorKind kind = FileErrorKind::none;
  std::string reason;  // the operating system's own text, for instance "Read-only file system"
};

/// What keeps this account from writing the file at `path`.
struct WriteProblem {
  bool exists = false;  // true: the file is there but cannot be written; false: it cannot be created
  FileError error;      // why (the operating system's text, or "Not a regular file")
};

/// Finds out, without creating or changing anything, whether this account
/// could append to the file at `path`: a file that is there must open for
/// writing (and be a regular file); a missing one needs a directory that
/// exists and lets this account create files in it. Nothing when it could.
/// Where the platform cannot tell without creating a file (the access list
/// of a Windows directory), a directory that exists counts as enough.
std::optional<WriteProblem> file_write_problem(const std::string& path);

/// An open regular file. Closed when destroyed; movable, not copyable.
///
/// Every platform guarantees:
/// - Opening never blocks, whatever the path names (a FIFO without a writer
///   included), and refuses anything but a regular file with `not_regular`.
/// - While open, the file may still be renamed, replaced or removed by this or
///   another process (on Windows: opened with FILE_SHARE_DELETE as well as
///   read and write sharing).
/// - The lock is advisory and exclusive: it never stops anyone from reading or
///   writing the file, it only keeps other holders of the lock waiting (on
///   Windows a byte range far past any real end of file is locked, since
///   Windows locks are mandatory). It belongs to this open file and is
///   released when it is closed; a holder does not open the file again while
///   it holds the lock (on some network file systems closing the second
///   handle would release the lock as well).
class OpenFile {
 public:
  enum class Mode {
    read,    // existing file, reading only
    append,  // reading, and writing at the end; created with mode 0600 (owner only) when missing
  };

  OpenFile() = default;
  ~OpenFile();
  OpenFile(OpenFile&& other) noexcept;
  OpenFile& operator=(OpenFile&& other) noexcept;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  /// Opens the regular file at `path`. On failure the result is not open and
  /// `error` says why.
  static OpenFile open(const std::string& path, Mode mode, FileError& error);

  bool is_open() const { return handle_ != kClosed; }

  /// The open file's status (which may differ from the path's once the file
  /// has been renamed), or nothing when it cannot be read.
  std::optional<FileStatus> status() const;

  /// Takes the exclusive advisory lock, waiting at most `wait_ms`
  /// milliseconds for another holder to let go (`busy` after that).
  bool lock(int wait_ms, FileError& error);

  /// Lets go of the lock taken with `lock`; nothing happens without it.
  void unlock();

  /// Reads up to `size` bytes at `offset` into `out`, retrying interrupted
  /// calls. Returns the bytes read (0 at the end of the file), or -1 with
  /// `error` set.
  std::int64_t read_at(std::int64_t offset, char* out, std::size_t size, FileError& error) const;

  /// Writes `data` at the end of the file (append mode), with one write when
  /// the system takes it whole; a partial write is followed by writes of the
  /// rest until all is written or one fails. True when every byte was
  /// written; otherwise `error` says why (for instance `too_large` at a
  /// file-size limit, which never raises a signal that ends the process) and
  /// part of `data` may be in the file.
  bool append(std::string_view data, FileError& error);

  /// Cuts the file to `size` bytes (append mode).
  bool truncate(std::int64_t size, FileError& error);

  /// Closes the file (and so releases the lock). Nothing happens when closed.
  void close();

 private:
  static constexpr std::intptr_t kClosed = -1;
  explicit OpenFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = kClosed;  // the platform's descriptor or handle
};

/// Appends `data` to `file` (append mode) as one piece that the appends of
/// other processes never tear or overwrite: one write at the end on POSIX
/// systems; on Windows the write is made under the file's lock as well (at
/// most a second's wait for it), since not every file system keeps appends
/// apart there. True when every byte was written.
bool append_shared(OpenFile& file, std::string_view data, FileError& error);

/// True where a file held open may still be removed or replaced by others at
/// once (POSIX). On Windows a removal waits until every handle is closed, and
/// a file held open cannot be replaced, so the log and the user file are not
/// kept open there between writes.
bool open_files_stay_replaceable();

/// Moves the file at `from` to `to` in one step, replacing any file at `to`:
/// there is no moment at which `to` is missing. False when it cannot be moved.
bool replace_file(const std::string& from, const std::string& to);

}  // namespace vantorix
