// A scratch directory for the fuzz targets that work on files.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vantorix::fuzz {

/// Makes (on the first call) a private directory for `purpose` and returns
/// its path; it is removed when the process exits. It lies in memory
/// (/dev/shm) where the system has one: on a disk file system every rewrite
/// of a file that closes it forces a write-back, which slows a target down
/// to a few hundred runs a second.
inline const std::string& scratch_directory(const char* purpose) {
  static const std::string directory = [purpose] {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/vantorix-fuzz-" + purpose + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  static const bool cleanup = [] {
    return std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(directory, ignored);
    }) == 0;
  }();
  (void)cleanup;
  return directory;
}

}  // namespace vantorix::fuzz
