// Fuzzes the account-file conversion: the input is split into the two account
// files and converted in a scratch working directory.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "convert/zeauth_convert.h"

namespace {

const std::string& work_directory() {
  static const std::string directory = [] {
    char pattern[] = "/tmp/vantorix-fuzz-convert-XXXXXX";
    std::string made(::mkdtemp(pattern));
    if (::chdir(made.c_str()) != 0) __builtin_trap();
    return made;
  }();
  return directory;
}

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& directory = work_directory();
  std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
  write_file(directory + "/zeauth.txt", data, split);
  write_file(directory + "/zeauth.add", data + split, size - split);
  vantorix::convert_zeauth(directory.c_str(), "vantorix");
  return 0;
}
