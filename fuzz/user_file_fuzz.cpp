// Fuzzes the user-file loader: a fuzzed file is loaded, then grown by an
// outside append, replaced, or grown by a record this process appends, and
// loaded again. However the file changed, every user the final file names
// must have the password a fresh load of that file gives.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "fake_env.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/system.h"
#include "scratch_directory.h"
#include "userstore/user_store.h"

namespace {

void write_file(const std::string& path, std::string_view bytes, const char* mode) {
  if (std::FILE* file = std::fopen(path.c_str(), mode)) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
}

// Bytes with the given ones left out, as a text the loader could have stored.
std::string without(std::string text, std::string_view unwanted) {
  std::erase_if(text, [&](char c) { return unwanted.find(c) != std::string_view::npos; });
  return text;
}

void load(vantorix::Log& log, vantorix::UserStore& store) {
  vantorix::user_file_load(log, store.settings, store.file, store.table);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string path = vantorix::fuzz::scratch_directory("userfile") + "/radius_users.dat";
  std::remove(path.c_str());
  vantorix::UserStore store;
  store.settings.file_name = path;
  vantorix::testing::FakeEnv env;  // failed appends pause in virtual time

  const int change = input.ConsumeIntegralInRange<int>(0, 3);
  const bool debug = input.ConsumeBool();
  std::string name = without(input.ConsumeRandomLengthString(40), std::string_view(" \r\n\0", 4));
  std::string password = input.ConsumeRandomLengthString(40);
  // Passwords outside 1-126 cannot be scrambled and read back as they were.
  std::erase_if(password, [](char c) { return c < 1 || c > 126; });
  const std::string first = input.ConsumeRandomLengthString(size);
  const std::string second = input.ConsumeRemainingBytesAsString();

  // Debug mode formats every log line (into the captured output).
  std::string output;
  vantorix::Console console;
  console.capture(&output);
  vantorix::Log log(console);
  log.state().log_path.reset();
  log.state().debug_mode = debug;

  write_file(path, first, "wb");
  load(log, store);
  bool memory_only = false;
  switch (change) {
    case 0:  // another process appended to the file
      write_file(path, second, "ab");
      break;
    case 1: {  // the file was replaced by a new one
      const std::string fresh = path + ".new";
      write_file(fresh, second, "wb");
      std::rename(fresh.c_str(), path.c_str());
      break;
    }
    case 2: {  // a check accepted a user, who is remembered in the file too
      // A name the file cannot hold is kept in memory only.
      memory_only = vantorix::user_store_remember(log, store, env, name, password) == vantorix::Remembered::memory_only;
      break;
    }
    default:  // nothing changed
      break;
  }
  load(log, store);
  const vantorix::UserTable& resumed = store.table;

  vantorix::UserStore fresh_store;
  fresh_store.settings = store.settings;
  load(log, fresh_store);
  const vantorix::UserTable& fresh = fresh_store.table;
  if (memory_only) {
    if (!resumed.find(name) || fresh.find(name) || fresh.size() + 1 != resumed.size()) __builtin_trap();
  } else if (change == 1 ? fresh.size() > resumed.size() : fresh.size() != resumed.size()) {
    // A load never removes a user, so after a replacement the table may
    // still hold users that the new file no longer names.
    __builtin_trap();
  }
  const auto same = [&](std::string_view who) {
    if (memory_only && who == name) return;
    const std::optional<std::string_view> a = fresh.find(who);
    const std::optional<std::string_view> b = resumed.find(who);
    // After a replacement the table may still know a name the new file does not store.
    if (a ? !b || *a != *b : b && change != 1) __builtin_trap();
  };
  same(name);
  // Every name the final file could hold: the text before the first space of each line.
  std::string final_text;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) final_text.append(chunk, n);
    std::fclose(file);
  }
  for (std::string_view rest = final_text; !rest.empty();) {
    const std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    same(line.substr(0, line.find(' ')));
  }

  return 0;
}
