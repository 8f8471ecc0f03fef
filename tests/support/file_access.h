// What the system says about who may open a file.
#pragma once

#include <string>

namespace vantorix::testing {

/// True when only the file's owner may read or write the file at `path`:
/// mode 0600 on POSIX systems; on Windows a protected access list (nothing
/// inherited) whose one entry grants the user this process runs as.
bool owner_only(const std::string& path);

}  // namespace vantorix::testing
