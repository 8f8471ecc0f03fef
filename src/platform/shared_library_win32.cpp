#include "platform/shared_library.h"

#include <windows.h>

#include "platform/windows_error.h"

namespace vantorix {
namespace {

// The folder of the running program, with its trailing separator; empty when
// it cannot be told.
std::wstring program_folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

// `text` in the system's code page, as the log and the replies are written.
std::string narrow(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  }
  return out;
}

}  // namespace

void* load_shared_library(const char* name, std::string& error) {
  // Only the copy beside the program, never one that the loader's search
  // would find in the current directory or along PATH (where another
  // program's OpenSSL of another version may be); the DLLs it needs
  // (libcrypto) only from the same folder or the system's.
  const std::wstring folder = program_folder();
  if (folder.empty()) {
    error = "cannot tell the program's folder: " + windows_error_text(::GetLastError(), true);
    return nullptr;
  }
  std::wstring path = folder;
  for (const char* c = name; *c != '\0'; ++c) path += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  // No dialog box about a missing or broken DLL: the error is reported instead.
  const UINT old_mode = ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library =
      ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  DWORD code = ::GetLastError();
  if (library == nullptr && code == ERROR_INVALID_PARAMETER) {
    // Windows 7 without KB2533623 has no LOAD_LIBRARY_SEARCH_*: the DLL's
    // own folder is then searched first for what it needs.
    library = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    code = ::GetLastError();
  }
  ::SetErrorMode(old_mode);
  if (library == nullptr) {
    // Windows says "not found" also when the file is there but a DLL it
    // needs is not, without naming that one.
    const bool there = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    error = narrow(path) + ": " +
            (code == ERROR_MOD_NOT_FOUND && there ? "a DLL it needs is missing (126)"
                                                   : windows_error_text(code, true));
    return nullptr;
  }
  return library;
}

void* shared_library_symbol(void* library, const char* name) {
  const HMODULE module = static_cast<HMODULE>(library);
  if (FARPROC found = ::GetProcAddress(module, name)) return reinterpret_cast<void*>(found);
  // GetProcAddress looks in the one module only, where dlsym also searches
  // the libraries it needs (libssl's functions and libcrypto's through the
  // handle of libssl): the DLLs it imports are asked in turn, as its import
  // table names them. They are loaded already, with it.
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name != 0; ++entry) {
    const HMODULE needed = ::GetModuleHandleA(reinterpret_cast<const char*>(base + entry->Name));
    if (needed == nullptr || needed == module) continue;
    if (FARPROC found = ::GetProcAddress(needed, name)) return reinterpret_cast<void*>(found);
  }
  return nullptr;
}

}  // namespace vantorix
