// Fuzzes the account-file conversion: the input is split into the two account
// files and converted in a scratch working directory. Sanitizers are the check.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "convert/zeauth_convert.h"
#include "scratch_directory.h"

namespace {

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& directory = vantorix::fuzz::scratch_directory("convert");
  // The outputs go to the working directory.
  static const bool moved = ::chdir(directory.c_str()) == 0;
  if (!moved) __builtin_trap();
  // The first byte says where the two files part, as a fraction of the rest.
  if (size == 0) return 0;
  const std::uint8_t* files = data + 1;
  const std::size_t length = size - 1;
  const std::size_t split = length * data[0] / 255;
  write_file(directory + "/zeauth.txt", files, split);
  write_file(directory + "/zeauth.add", files + split, length - split);
  vantorix::convert_zeauth(directory.c_str(), "vantorix");
  return 0;
}
