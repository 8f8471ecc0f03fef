// Conversion of another tool's account files into commands for this program.
#pragma once

#include <cstdio>

namespace vantorix {

/// Reads "zeauth.txt" then "zeauth.add" from `directory` and writes
/// "ze_convert.bat" and "ze_input.dat" in the working directory.
/// Returns 0 when `directory` or `executable` is null; the caller ignores it.
int convert_zeauth(const char* directory, const char* executable);

}  // namespace vantorix
