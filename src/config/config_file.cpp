#include "config/config_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "config/config_texts.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/system.h"
#include "text/text_format.h"
#include "text/text_helpers.h"

namespace vantorix {
namespace {

constexpr const char* kConfigExtension = ".ini";
// Names whose keys never show more than the name in the log, nor any value:
// "radius_secret=VALUE" or "Info_Pass2 x" hide everything after the name.
constexpr std::string_view kSecretKeys[] = {"radius_secret", "info_pass"};
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
void apply_dir_hash(Log& log, std::string_view value, CoreSettings& settings) {
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
  log.message(config_text::kDirHash, settings.dir_hash_base.c_str(), settings.dir_hash_chars,
              settings.dir_hash_depth, "");
}

// "filtername": the character to replace, a comma, the replacement.
void apply_filter(Log& log, std::string_view value, CoreSettings& settings) {
  std::size_t comma = value.find(',');
  if (comma == std::string_view::npos) {
    log.error(config_text::kFilterInvalid);
    return;
  }
  settings.filter_from = comma == 0 ? '\0' : value[0];
  settings.filter_to = comma + 1 < value.size() ? value[comma + 1] : ' ';
}

// A blank or tab followed by '#': what an inline comment would look like.
// A value that begins with '#' follows the blank after its key.
bool looks_commented(std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '#' && (i == 0 || is_blank(value[i - 1]))) return true;
  }
  return false;
}

bool is_word_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The length of the secret's name that `key` begins with (any letter case), or 0.
std::size_t secret_name_length(std::string_view key) {
  for (std::string_view secret : kSecretKeys) {
    if (key.size() >= secret.size() && equals_nocase(key.substr(0, secret.size()), secret)) return secret.size();
  }
  return 0;
}

// How a key may appear in the log. A key that begins with the name of a
// secret shows that name only; an unknown key shows its leading word only,
// since what follows a '=' or ':' is most likely a value, perhaps a secret
// under a mistyped name. "(hidden)" marks what was left out.
std::string key_for_log(std::string_view key, bool known) {
  std::size_t shown = secret_name_length(key);
  if (shown == 0) {
    shown = key.size();
    if (!known) {
      shown = 0;
      while (shown < key.size() && is_word_character(key[shown])) ++shown;
    }
  }
  std::string text(key.substr(0, shown));
  if (shown < key.size()) text += config_text::kHiddenValue;
  return text;
}

bool is_boolean(std::string_view value) { return is_true(value) || equals_nocase(value, "false"); }

// The keys the front end owns, each with what it does; a key without an
// action is accepted without effect. Any key that begins with "filtername"
// is "filtername".
struct CoreKey {
  std::string_view name;
  void (*apply)(std::string_view value, const ConfigTargets& targets);
};

constexpr CoreKey kCoreKeys[] = {
    {"log",
     [](std::string_view value, const ConfigTargets& targets) {
       // Warned before it takes effect, while the log file is still known.
       if (!is_boolean(value)) targets.log.error(config_text::kLogNotABoolean, std::string(value).c_str());
       targets.log.state().log_mode = is_true(value);
       // Any other value also drops the log file until a later "log_path" line.
       if (!targets.log.state().log_mode) targets.log.state().log_path.reset();
     }},
    {"fwd_not_null", nullptr},
    {"dir_hash",
     [](std::string_view value, const ConfigTargets& targets) {
       apply_dir_hash(targets.log, value, targets.settings);
     }},
    {"unix_password",
     [](std::string_view, const ConfigTargets& targets) { targets.log.error(config_text::kUnixPassword); }},
    {"plain_password", nullptr},
    {"filtername",
     [](std::string_view value, const ConfigTargets& targets) { apply_filter(targets.log, value, targets.settings); }},
    {"log_path",
     [](std::string_view value, const ConfigTargets& targets) { targets.log.state().log_path.emplace(value); }},
    {"domain",
     [](std::string_view value, const ConfigTargets& targets) { targets.settings.default_domain.emplace(value); }},
    {"info_pass",
     [](std::string_view value, const ConfigTargets& targets) { targets.settings.info_pass.emplace(value); }},
    {"lowercase_username",
     [](std::string_view value, const ConfigTargets& targets) {
       targets.settings.lowercase_username = is_true(value);
     }},
    {"lowercase_username_set",
     [](std::string_view value, const ConfigTargets& targets) {
       targets.settings.lowercase_username_set = is_true(value);
     }},
    {"search_min",
     [](std::string_view value, const ConfigTargets& targets) { targets.settings.search_min = leading_number(value); }},
    {"realuser", nullptr},
    {"log_syslog",
     [](std::string_view value, const ConfigTargets& targets) {
       if (!is_boolean(value)) targets.log.error(config_text::kSyslogNotABoolean, std::string(value).c_str());
       targets.log.state().syslog = is_true(value) && system_log_available();
       if (is_true(value) && !system_log_available()) targets.log.error(config_text::kNoSyslog);
     }},
};

const CoreKey* find_core_key(const std::string& key) {
  const bool filter = compare_prefix_nocase(key.c_str(), "filtername", kFilterKeyLength) == 0;
  for (const CoreKey& core : kCoreKeys) {
    if (filter ? core.name == "filtername" : equals_nocase(key, core.name)) return &core;
  }
  return nullptr;
}

}  // namespace

std::string config_not_found_line(const char* directory, const char* program_path) {
  const ConfigPaths paths = config_paths(directory, program_path);
  char line[kMaxReplyText + 1];
  text_format(line, sizeof line, config_text::kUnableToOpen, paths.first.c_str(), paths.file_name.c_str(), kLineEnd);
  return line;
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
    paths.first = cut_path(std::string(directory) + path_separator() + paths.file_name);
  } else {
    paths.first = cut_path(std::string(program_directory) + paths.file_name);
  }
  std::string system = cut_path(system_directory());
  if (!system.empty()) paths.system = cut_path(system + path_separator() + paths.file_name);
  return paths;
}

void config_apply_line(std::string_view line, const ConfigTargets& targets) {
  Log& log = targets.log;
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

  if (const CoreKey* core = find_core_key(key)) {
    const std::string shown_key = key_for_log(key, true);
    const std::string shown = secret_name_length(key) > 0 ? config_text::kHiddenValue : std::string(value);
    log.message(config_text::kLocated, shown_key.c_str(), shown.c_str());
    // Warned before the value takes effect: "log true # on" turns logging off.
    if (looks_commented(value)) log.error(config_text::kInlineComment, shown_key.c_str(), shown.c_str());
    if (core->apply != nullptr) core->apply(value, targets);
    return;
  }
  // The backend says whether the key is its own; the value of one nobody
  // knows stays out of the log, as it is most often a mistyped secret.
  const bool known = targets.backend != nullptr && targets.backend(key, value);
  const std::string shown_key = key_for_log(key, known);
  const std::string shown = known && secret_name_length(key) == 0 ? std::string(value) : config_text::kHiddenValue;
  log.message(config_text::kLocated, shown_key.c_str(), shown.c_str());
  if (!known) {
    log.error(config_text::kUnknownKey, shown_key.c_str());
  } else if (looks_commented(value)) {
    log.error(config_text::kInlineComment, shown_key.c_str(), shown.c_str());
  }
}

std::optional<std::string> config_load(const char* directory, const char* program_path, const ConfigTargets& targets,
                                       bool file_named) {
  Log& log = targets.log;
  ConfigPaths paths = config_paths(directory, program_path);
  // Binary mode: lines keep their carriage returns, which trimming removes.
  std::FILE* file = nullptr;
  const std::string* opened = nullptr;
  // Places that hold a file that cannot be read, and the place the switches
  // named: passing over them is said, with the system's reason.
  struct PassedOver {
    const std::string* path;
    std::string reason;
  };
  std::vector<PassedOver> passed_over;
  for (const std::string* candidate : {&paths.first, &paths.system, &paths.file_name}) {
    if (candidate->empty()) continue;  // no system directory
    errno = 0;
    file = std::fopen(candidate->c_str(), "rb");
    if (file != nullptr) {
      opened = candidate;
      break;
    }
    const int code = errno;
    const bool named = candidate == &paths.first && (directory != nullptr || file_named);
    if (named || (code != 0 && code != ENOENT)) {
      passed_over.push_back({candidate, code != 0 ? std::strerror(code) : "cannot be opened"});
    }
  }
  // The whole path: which of the places was read is not to be guessed.
  std::string whole_path;
  if (opened != nullptr) {
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(*opened, error);
    whole_path = error ? *opened : whole.string();
  }
  for (const PassedOver& place : passed_over) {
    if (opened != nullptr) {
      log.error(config_text::kPassedOver, place.path->c_str(), place.reason.c_str(), whole_path.c_str());
    } else {
      log.error(config_text::kCannotRead, place.path->c_str(), place.reason.c_str());
    }
  }
  if (file == nullptr) {
    log.error(config_text::kUnableToOpenLog, paths.first.c_str(), paths.file_name.c_str());
    log.error(config_text::kFailedToLoad, paths.file_name.c_str());
    return std::nullopt;
  }
  log.message(config_text::kLoading, paths.file_name.c_str());
  log.message(config_text::kReading, whole_path.c_str());
  const std::optional<FileStatus> status = file_status(*opened);
  if (status && (status->others_may_read || status->others_may_write)) {
    log.error(config_text::kOpenToOthers, opened->c_str());
  }

  char line[kMaxConfigLine + 2];
  while (std::fgets(line, kMaxConfigLine + 1, file) != nullptr) {
    config_apply_line(std::string_view(line, std::strlen(line)), targets);
  }
  std::fclose(file);
  return *opened;
}

}  // namespace vantorix
