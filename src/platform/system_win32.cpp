#include "platform/system.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cerrno>
#include <string>

#include "platform/native.h"

namespace vantorix {

int current_process_id() { return static_cast<int>(::GetCurrentProcessId()); }

std::tm local_time(std::time_t now) {
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

std::string account_name() {
  char name[257] = {};  // UNLEN + 1
  DWORD size = sizeof name;
  if (::GetUserNameA(name, &size) && size > 0) return name;
  return "unknown";
}

// The Windows program has no system log of its own: its lines go to the log file.
bool system_log_available() { return false; }

bool system_log(bool /*error*/, const char* /*message*/, int /*wait_ms*/, std::string& /*reason*/) { return true; }

bool disable_core_dumps() {
  // No Windows Error Reporting for this process, which is what would write
  // a dump of its memory when it crashes, and no dialog box that would keep
  // a crashed helper of a service waiting for a click nobody gives.
  ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  return true;
}

bool native_output_pipe_closed() {
  if (errno == EPIPE) return true;
  const DWORD code = ::GetLastError();
  return code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA || code == ERROR_PIPE_NOT_CONNECTED;
}

// Windows has neither SIGXFSZ nor SIGPIPE: a failed write is already an error of the write.
void ignore_write_signals() {}

}  // namespace vantorix
