#include "config/core_settings.h"

#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace vantorix {

std::vector<std::string> core_settings_lines(const CoreSettings& settings, const LogState& log) {
  const auto text = [](const std::optional<std::string>& value) { return value ? *value : std::string("(none)"); };
  const auto flag = [](bool on) { return std::string(on ? "true" : "false"); };
  std::string filter = "(none)";
  if (settings.filter_from != 0 && settings.filter_to != 0) {
    filter = std::string(1, settings.filter_from) + "," + settings.filter_to;
  }
  std::string dir_hash = "(none)";
  if (!settings.dir_hash_base.empty()) {
    dir_hash = std::to_string(settings.dir_hash_chars) + " " + std::to_string(settings.dir_hash_depth) + " " +
               settings.dir_hash_base;
  }
  return {
      "domain = " + text(settings.default_domain),
      "info_pass = " + std::string(settings.info_pass ? "(hidden)" : "(none)"),
      "lowercase_username = " + flag(settings.lowercase_username),
      "lowercase_username_set = " + flag(settings.lowercase_username_set),
      "search_min = " + std::to_string(settings.search_min),
      "filtername = " + filter,
      "dir_hash = " + dir_hash,
      "log = " + flag(log.log_mode),
      "log_path = " + (log.log_path ? path_in_effect(*log.log_path) + ": " +
                                          write_problem_text(*log.log_path).value_or("can be written")
                                    : std::string("(none)")),
      "log_syslog = " + flag(log.syslog),
  };
}

std::optional<std::string> write_problem_text(const std::string& path) {
  const std::optional<WriteProblem> problem = file_write_problem(path);
  if (!problem) return std::nullopt;
  std::string text = (problem->exists ? "not writable: " : "cannot be created: ") + problem->error.reason;
  if (!problem->exists) {
    // The directory is what stands in the way: which one is the first thing to know.
    const std::string directory = std::filesystem::path(path).parent_path().string();
    if (directory.empty()) {
    } else if (problem->error.kind == FileErrorKind::missing) {
      text += " (" + directory + " does not exist)";
    } else {
      text += " (in " + directory + ")";
    }
  }
  return text;
}

std::string path_in_effect(const std::string& path) {
  std::error_code error;
  const std::filesystem::path as_path(path);
  // On Windows "\\dir\\file" is not absolute (no drive) but not in the working directory either.
  if (path.empty() || as_path.is_absolute() || as_path.has_root_directory()) return path;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  return error ? path : path + " (in " + directory.string() + ")";
}

}  // namespace vantorix
