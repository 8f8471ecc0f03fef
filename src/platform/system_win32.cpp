#include "platform/system.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstdio>
#include <vector>

#include "platform/native.h"

namespace vantorix {
namespace {

// FILETIME counts 100-nanosecond steps since 1601-01-01; the epoch is this many steps later.
constexpr std::int64_t kEpochInFileTime = 116444736000000000LL;

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

}  // namespace

int current_process_id() { return static_cast<int>(::GetCurrentProcessId()); }

std::tm local_time_now() {
  std::time_t now = std::time(nullptr);
  std::tm broken{};
  ::localtime_s(&broken, &now);
  return broken;
}

std::string system_directory() {
  char directory[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryA(directory, sizeof directory);
  // 0 is a failure; a length of the whole buffer or more is the size it would need.
  if (length == 0 || length >= sizeof directory) return {};
  return std::string(directory, length);
}

char path_separator() { return '\\'; }

void native_sleep_milliseconds(int milliseconds) { ::Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0); }

std::int64_t native_monotonic_milliseconds() { return static_cast<std::int64_t>(::GetTickCount64()); }

bool native_random_bytes(std::uint8_t* out, std::size_t size) {
  while (size > 0) {
    const ULONG part = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, out, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    out += part;
    size -= part;
  }
  return true;
}

std::optional<FileStatus> file_status(const std::string& path) {
  // Reading attributes only: no sharing mode of another process stands in
  // the way. Backup semantics let a directory be opened too, as stat() would.
  HANDLE file = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = ::GetFileInformationByHandle(file, &information);
  ::CloseHandle(file);
  if (!known) return std::nullopt;
  auto join = [](DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; };
  FileStatus status;
  status.size = static_cast<std::int64_t>(join(information.nFileSizeHigh, information.nFileSizeLow));
  const auto written = static_cast<std::int64_t>(
      join(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime));
  status.modified_ns = (written - kEpochInFileTime) * 100;
  status.device = information.dwVolumeSerialNumber;
  status.inode = join(information.nFileIndexHigh, information.nFileIndexLow);
  return status;
}

bool append_private(const std::string& path, std::string_view data) {
  if (data.size() > MAXDWORD) return false;
  // Without an owner-only descriptor a new file would take the directory's
  // access list: then only a file that is already there is written.
  SECURITY_ATTRIBUTES* security = owner_only_attributes();
  // Append access without write access: the system puts every write at the
  // end of the file as one piece, so records of two processes never
  // interleave. Others may read and append meanwhile, as on POSIX systems; a
  // process that holds the file without sharing it makes this open fail
  // with a sharing violation until it lets go.
  HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              security, security != nullptr ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool wrote = ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  ::CloseHandle(file);
  return wrote && written == data.size();
}

bool file_seek(std::FILE* file, std::int64_t offset) { return ::_fseeki64(file, offset, SEEK_SET) == 0; }

}  // namespace vantorix
