// Shared libraries loaded while the program runs, for what only some
// configurations need (the TLS library), so that every other run neither
// loads nor pays for them.
#pragma once

#include <string>

namespace vantorix {

/// Loads the shared library `name` with all its symbols bound at once; null,
/// with the loader's reason in `error`, when it cannot be loaded. It stays
/// loaded for the rest of the run. POSIX: a file name the system's loader
/// looks up, such as "libssl.so.3". Windows: a DLL in the program's own
/// folder, such as "libssl-3-x64.dll", and the DLLs it needs from that
/// folder or the system's, never from the current directory or PATH.
void* load_shared_library(const char* name, std::string& error);

/// The address of the function or object `name` in `library` or in the
/// libraries it needs; null when there is none.
void* shared_library_symbol(void* library, const char* name);

}  // namespace vantorix
