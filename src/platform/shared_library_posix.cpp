#include "platform/shared_library.h"

#include <dlfcn.h>

namespace vantorix {

void* load_shared_library(const char* name, std::string& error) {
  void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : "cannot be loaded";
  }
  return library;
}

void* shared_library_symbol(void* library, const char* name) { return ::dlsym(library, name); }

}  // namespace vantorix
