// Fuzzes the configuration loader with arbitrary file contents.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/config_file.h"
#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "platform/console.h"
#include "scratch_directory.h"

namespace {

std::size_t g_backend_bytes = 0;

void count_backend_key(std::string_view key, std::string_view value) {
  g_backend_bytes += key.size() + value.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = vantorix::fuzz::scratch_directory("config") + "/fuzz.ini";
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  std::string console;
  vantorix::console_capture(&console);
  vantorix::log_state() = {};
  vantorix::core_settings() = {};
  vantorix::backend_ops() = {};
  vantorix::backend_ops().config = count_backend_key;
  // Everything logged while loading stays in the start-up buffer, which is
  // dropped below: a fuzzed "log_path" must never make the loader write a file.
  vantorix::startup_log_begin();
  vantorix::config_load(vantorix::fuzz::scratch_directory("config").c_str(), "fuzz");
  vantorix::log_state() = {};
  vantorix::core_settings() = {};
  vantorix::console_capture(nullptr);
  return 0;
}
