#include "config/config_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/config_texts.h"
#include "logging/text_helpers.h"
#include "platform/console.h"
#include "platform/system.h"

namespace vantorix {
namespace {

constexpr const char* kConfigExtension = ".ini";
// Keys whose values never reach the log.
constexpr const char* kSecretKeys[] = {"radius_secret", "info_pass"};
constexpr int kFilterKeyLength = 10;  // "filtername" and anything longer that begins with it
constexpr int kMinDirHashCount = 1;
constexpr int kMaxDirHashCount = 5;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string cut_path(std::string path) {
  if (path.size() > kMaxConfigPath) path.resize(kMaxConfigPath);
  return path;
}

bool is_true(std::string_view value) { return equals_nocase(value, "true"); }

// "dir_hash": an optional characters-per-level digit and an optional depth
// digit, each followed by one blank, then the base directory.
void apply_dir_hash(std::string_view value, CoreSettings& settings) {
  int counts[2] = {kMinDirHashCount, kMinDirHashCount};
  for (int& count : counts) {
    if (value.size() >= 2 && value[0] >= '0' && value[0] <= '9' && value[1] == ' ') {
      count = std::clamp(value[0] - '0', kMinDirHashCount, kMaxDirHashCount);
      value.remove_prefix(2);
    }
  }
  settings.dir_hash_base.assign(value.substr(0, kMaxDirHashBase));
  settings.dir_hash_chars = counts[0];
  settings.dir_hash_depth = counts[1];
  log_message(config_text::kDirHash, settings.dir_hash_base.c_str(),
              settings.dir_hash_chars, settings.dir_hash_depth, "");
}

// "filtername": the character to replace, a comma, the replacement.
void apply_filter(std::string_view value, CoreSettings& settings) {
  std::size_t comma = value.find(',');
  if (comma == std::string_view::npos) {
    log_error(config_text::kFilterInvalid);
    return;
  }
  settings.filter_from = comma == 0 ? '\0' : value[0];
  settings.filter_to = comma + 1 < value.size() ? value[comma + 1] : ' ';
}

void apply_key(const std::string& key, std::string_view value, const ConfigTargets& targets) {
  CoreSettings& settings = targets.settings;
  LogState& log = targets.log;
  if (equals_nocase(key, "log")) {
    log.log_mode = is_true(value);
    // Any other value also drops the log file until a later "log_path" line.
    if (!log.log_mode) log.log_path.reset();
  } else if (equals_nocase(key, "fwd_not_null")) {
    // Accepted; no effect.
  } else if (equals_nocase(key, "dir_hash")) {
    apply_dir_hash(value, settings);
  } else if (equals_nocase(key, "unix_password")) {
    log_error(config_text::kUnixPassword);
  } else if (equals_nocase(key, "plain_password")) {
    // Accepted; no effect.
  } else if (compare_prefix_nocase(key.c_str(), "filtername", kFilterKeyLength) == 0) {
    apply_filter(value, settings);
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
  } else if (targets.backend != nullptr) {
    targets.backend(key, value);
  }
}

}  // namespace

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
    paths.first = cut_path(std::string(directory) + path_separator() + paths.file_name);
  } else {
    paths.first = cut_path(std::string(program_directory) + paths.file_name);
  }
  std::string system = cut_path(system_directory());
  if (!system.empty()) paths.system = cut_path(system + path_separator() + paths.file_name);
  return paths;
}

void config_apply_line(std::string_view line, const ConfigTargets& targets) {
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
  std::string shown(secret ? std::string_view(config_text::kHiddenValue) : value);
  log_message(config_text::kLocated, key.c_str(), shown.c_str());
  apply_key(key, value, targets);
}

bool config_load(const char* directory, const char* program_path, const ConfigTargets& targets) {
  ConfigPaths paths = config_paths(directory, program_path);
  // Binary mode: lines keep their carriage returns, which trimming removes.
  std::FILE* file = std::fopen(paths.first.c_str(), "rb");
  if (file == nullptr && !paths.system.empty()) file = std::fopen(paths.system.c_str(), "rb");
  if (file == nullptr) file = std::fopen(paths.file_name.c_str(), "rb");
  if (file == nullptr) {
    log_error(config_text::kUnableToOpenLog, paths.first.c_str(), paths.file_name.c_str());
    console_write(config_text::kUnableToOpen, paths.first.c_str(), paths.file_name.c_str(), kLineEnd);
    log_error(config_text::kFailedToLoad, paths.file_name.c_str());
    return false;
  }
  log_message(config_text::kLoading, paths.file_name.c_str());

  char line[kMaxConfigLine + 2];
  while (std::fgets(line, kMaxConfigLine + 1, file) != nullptr) {
    config_apply_line(std::string_view(line, std::strlen(line)), targets);
  }
  std::fclose(file);
  return true;
}

}  // namespace vantorix
