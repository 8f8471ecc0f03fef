// The system's text for a Windows error code, for the Windows files of the
// platform layer (files_win32.cpp, shared_library_win32.cpp).
#pragma once

#include <string>

namespace vantorix {

/// The text of `code` as FormatMessage gives it, without its line end and
/// full stop, followed by " (CODE)" when `with_number` is set; "Windows
/// error CODE" when the system has no text for it.
std::string windows_error_text(unsigned long code, bool with_number = false);

}  // namespace vantorix
