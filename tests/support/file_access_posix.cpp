#include "file_access.h"

#include <sys/stat.h>

namespace vantorix::testing {

bool owner_only(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600;
}

}  // namespace vantorix::testing
