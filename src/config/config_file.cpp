#include "config/config_file.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "platform/system.h"

namespace vantorix {
namespace {

constexpr char kPathSeparator = '/';
constexpr const char* kConfigExtension = ".ini";
constexpr const char* kHiddenValue = "(hidden)";
// Keys whose values never reach the log.
constexpr const char* kSecretKeys[] = {"radius_secret", "info_pass"};
constexpr int kFilterKeyLength = 10;  // "filtername" and anything longer that begins with it
constexpr int kMinDirHashCount = 1;
constexpr int kMaxDirHashCount = 5;

int fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

bool equals_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string cut_path(std::string path) {
  if (path.size() > kMaxConfigPath) path.resize(kMaxConfigPath);
  return path;
}

bool is_true(std::string_view value) { return equals_nocase(value, "true"); }

// The number at the start of the value: an optional sign and digits, 0 when
// there are none; values beyond the range of int stop at its ends.
int leading_number(std::string_view value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  long long number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    number = std::min<long long>(number * 10 + (value[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) return static_cast<int>(-number);
  return static_cast<int>(std::min<long long>(number, INT_MAX));
}

// "dir_hash": an optional characters-per-level digit and an optional depth
// digit, each followed by one blank, then the base directory.
void apply_dir_hash(std::string_view value) {
  int counts[2] = {kMinDirHashCount, kMinDirHashCount};
  for (int& count : counts) {
    if (value.size() >= 2 && value[0] >= '0' && value[0] <= '9' && value[1] == ' ') {
      count = std::clamp(value[0] - '0', kMinDirHashCount, kMaxDirHashCount);
      value.remove_prefix(2);
    }
  }
  CoreSettings& settings = core_settings();
  settings.dir_hash_base.assign(value.substr(0, kMaxDirHashBase));
  settings.dir_hash_chars = counts[0];
  settings.dir_hash_depth = counts[1];
  log_message("dir_hash - base(%s),chars(%d),depth(%d)%s", settings.dir_hash_base.c_str(),
              settings.dir_hash_chars, settings.dir_hash_depth, "");
}

// "filtername": the character to replace, a comma, the replacement.
void apply_filter(std::string_view value) {
  std::size_t comma = value.find(',');
  if (comma == std::string_view::npos) {
    log_error("Invalid parameter to filtername\n");
    return;
  }
  CoreSettings& settings = core_settings();
  settings.filter_from = comma == 0 ? '\0' : value[0];
  settings.filter_to = comma + 1 < value.size() ? value[comma + 1] : ' ';
}

void apply_key(const std::string& key, std::string_view value) {
  CoreSettings& settings = core_settings();
  LogState& log = log_state();
  if (equals_nocase(key, "log")) {
    log.log_mode = is_true(value);
    // Any other value also drops the log file until a later "log_path" line.
    if (!log.log_mode) log.log_path.reset();
  } else if (equals_nocase(key, "fwd_not_null")) {
    // Accepted; no effect.
  } else if (equals_nocase(key, "dir_hash")) {
    apply_dir_hash(value);
  } else if (equals_nocase(key, "unix_password")) {
    log_error("Found unexpected unix_password setting. Please contact Ferrow support");
  } else if (equals_nocase(key, "plain_password")) {
    // Accepted; no effect.
  } else if (compare_prefix_nocase(key.c_str(), "filtername", kFilterKeyLength) == 0) {
    apply_filter(value);
  } else if (equals_nocase(key, "log_path")) {
    log.log_path.emplace(value);
  } else if (equals_nocase(key, "domain")) {
    settings.default_domain.emplace(value);
  } else if (equals_nocase(key, "info_pass")) {
    settings.info_pass.emplace(value);
  } else if (equals_nocase(key, "lowercase_username")) {
    settings.lowercase_username = is_true(value);
  } else if (equals_nocase(key, "lowercase_username_set")) {
    settings.lowercase_username_set = is_true(value);
  } else if (equals_nocase(key, "search_min")) {
    settings.search_min = leading_number(value);
  } else if (equals_nocase(key, "realuser")) {
    // Accepted; no effect.
  } else if (backend_ops().config != nullptr) {
    backend_ops().config(key, value);
  }
}

}  // namespace

int compare_prefix_nocase(const char* first, const char* second, int n) {
  if (first == nullptr) first = "";
  if (second == nullptr) second = "";
  for (int i = 0; i < n; ++i) {
    int a = fold(static_cast<unsigned char>(first[i]));
    int b = fold(static_cast<unsigned char>(second[i]));
    if (a != b) return a - b;
    if (a == 0) return 0;
  }
  return 0;
}

ConfigPaths config_paths(const char* directory, const char* program_path) {
  std::string_view program = program_path != nullptr ? program_path : "";
  std::size_t last_separator = program.find_last_of("/\\");
  std::string_view program_directory;  // with its trailing separator
  std::string_view base = program;
  if (last_separator != std::string_view::npos) {
    program_directory = program.substr(0, last_separator + 1);
    base = program.substr(last_separator + 1);
  }
  base = base.substr(0, base.find('.'));

  ConfigPaths paths;
  paths.file_name = cut_path(std::string(base) + kConfigExtension);
  if (directory != nullptr) {
    paths.first = cut_path(std::string(directory) + kPathSeparator + paths.file_name);
  } else {
    paths.first = cut_path(std::string(program_directory) + paths.file_name);
  }
  std::string system = cut_path(system_directory());
  if (!system.empty()) paths.system = cut_path(system + kPathSeparator + paths.file_name);
  return paths;
}

void config_apply_line(std::string_view line) {
  if (line.empty() || line[0] == '#' || line[0] == '\r' || line[0] == '\n') return;
  // Trailing blanks and line ends go, but never the first character.
  std::size_t end = line.size();
  while (end > 1 && (is_blank(line[end - 1]) || line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  line = line.substr(0, end);

  std::size_t key_end = 0;
  while (key_end < line.size() && !is_blank(line[key_end])) ++key_end;
  std::size_t value_start = key_end;
  while (value_start < line.size() && is_blank(line[value_start])) ++value_start;
  std::string key(line.substr(0, key_end));
  std::string_view value = line.substr(value_start);

  bool secret = std::any_of(std::begin(kSecretKeys), std::end(kSecretKeys),
                            [&](const char* name) { return equals_nocase(key, name); });
  std::string shown(secret ? std::string_view(kHiddenValue) : value);
  log_message("INI:         Located {%s} {%s}", key.c_str(), shown.c_str());
  apply_key(key, value);
}

int config_load(const char* directory, const char* program_path) {
  CoreSettings& settings = core_settings();
  settings.dir_hash_base.clear();
  settings.dir_hash_chars = kMinDirHashCount;
  settings.dir_hash_depth = kMinDirHashCount;

  ConfigPaths paths = config_paths(directory, program_path);
  // Binary mode: lines keep their carriage returns, which trimming removes.
  std::FILE* file = std::fopen(paths.first.c_str(), "rb");
  if (file == nullptr && !paths.system.empty()) file = std::fopen(paths.system.c_str(), "rb");
  if (file == nullptr) file = std::fopen(paths.file_name.c_str(), "rb");
  if (file == nullptr) {
    log_error("Unable to open(%s) or (%s)\n", paths.first.c_str(), paths.file_name.c_str());
    console_write("-DEAD Unable to open(%s) or (%s)\n", paths.first.c_str(), paths.file_name.c_str());
    log_error("INI: Failed to load {%s}", paths.file_name.c_str());
    return 0;
  }
  log_message("INI: Loading {%s}", paths.file_name.c_str());

  char line[kMaxConfigLine + 2];
  while (std::fgets(line, kMaxConfigLine + 1, file) != nullptr) {
    config_apply_line(std::string_view(line, std::strlen(line)));
  }
  std::fclose(file);
  return 1;
}

}  // namespace vantorix
