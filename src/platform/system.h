// What the operating system provides besides sockets, files and standard
// output: process id, local time, the system directory and path separator,
// sleeping, random bytes, the account and the system log, and the
// protections of the process. One
// implementation per platform (system_posix.cpp, system_win32.cpp). The
// program reads the clock, sleeps and draws random bytes through an Env
// (env.h).
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

namespace vantorix {

/// The operating system's id of this process.
int current_process_id();

/// The local time at `now` (seconds since the epoch, as std::time gives them), broken down.
std::tm local_time(std::time_t now);

/// The directory searched second for the configuration file ("/etc" on
/// POSIX systems, the system directory such as C:\Windows\system32 on
/// Windows). Empty when the platform has none or it cannot be found out.
std::string system_directory();

/// The character that joins a directory and a file name ('/' on POSIX
/// systems, '\\' on Windows).
char path_separator();

/// The name of the account this process runs as (its effective user); when
/// the name cannot be found out, "uid N" on POSIX systems, "unknown" on Windows.
std::string account_name();

/// True where the system keeps a log of its own that `system_log` reaches
/// (syslog on POSIX systems); false on Windows.
bool system_log_available();

/// Sends `message` to the system log as "vantorix" (with the process id) in
/// the mail facility: at priority err when `error`, else info. Waits at most
/// `wait_ms` milliseconds for room in the system log's queue (syslog(3)
/// would wait for ever); a line it does not take by then, or at all (no
/// /dev/log), is dropped, and the result is false with the system's reason
/// in `reason`. Does nothing (and succeeds) where there is no system log.
bool system_log(bool error, const char* message, int wait_ms, std::string& reason);

/// Switches core dumps off for the rest of the run (POSIX: a core-size
/// limit of 0 and, where the system has it, the process marked not
/// dumpable), since the process's memory holds the shared secret and users'
/// passwords in clear. A Windows build keeps the system from writing crash
/// dumps of the process where it can. False when the system refused.
bool disable_core_dumps();

/// Makes writes that pass the file-size limit, or go to a pipe that nobody
/// reads any more, fail with an error instead of ending the process (POSIX:
/// SIGXFSZ and SIGPIPE ignored). Platforms without such signals do nothing.
void ignore_write_signals();

}  // namespace vantorix
