#include "frontend/program.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "config/config_file.h"
#include "config/core_settings.h"
#include "convert/zeauth_convert.h"
#include "frontend/backend_ops.h"
#include "frontend/dispatcher.h"
#include "frontend/line_reader.h"
#include "frontend/product.h"
#include "frontend/replies.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/system.h"
#include "text/text_format.h"
#include "text/text_helpers.h"

namespace vantorix {
namespace {

// A one-shot command line is formatted into this many bytes (4095 characters).
constexpr int kCommandLineSize = 4096;

// What the first pass over the command line found.
struct FirstPass {
  std::optional<int> exit_status;  // set when the program ends right there
  const char* config_directory = nullptr;
  const char* config_file = nullptr;
  bool test_config = false;        // -test_config: report and probe instead of serving
  const char* test_user = nullptr;  // its optional USER and PASSWORD
  const char* test_password = nullptr;
};

bool is_filter_switch(const char* argument) { return compare_prefix_nocase(argument, "-filtername", 11) == 0; }

// "-filtername,<from>,<to>": the character after the first comma is replaced
// by the one after the next comma (a space when that comma ends the text).
// Returns false after writing why the switch is refused.
bool apply_filter_switch(ReplyWriter& out, const char* argument, CoreSettings& settings) {
  const char* first = std::strchr(argument, ',');
  if (first == nullptr) {
    out.write(reply::kFilterInvalid, kLineEnd);
    return false;
  }
  const char from = first[1];
  // Without a character after the first comma there is nothing to replace,
  // and no second comma can follow.
  const char* second = from == '\0' ? nullptr : std::strchr(first + 2, ',');
  if (second == nullptr) {
    out.write(reply::kFilterInvalidSecond, kLineEnd);
    return false;
  }
  settings.filter_from = from;
  settings.filter_to = second[1] == '\0' ? ' ' : second[1];
  return true;
}

// The part of a path after its last separator.
const char* file_name_of(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return name;
}

int run_conversion(int argc, char** argv, int i) {
  if (i + 1 >= argc) return 1;
  std::string directory = argv[i + 1];
  if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
  const char* name = i + 2 < argc ? argv[i + 2] : file_name_of(argv[0]);
  convert_zeauth(directory.c_str(), name);
  return 1;
}

// The one-shot switches whose second argument is a password.
bool takes_password(std::string_view argument) {
  return argument == "-check" || argument == "-add" || argument == "-set" || argument == "-test_config";
}

FirstPass first_pass(ReplyWriter& out, int argc, char** argv, CoreSettings& settings) {
  Log& log = out.log();
  FirstPass pass;
  int password_at = -1;  // the argument that must not reach the log
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    log.message(reply::kArgumentLog, i, i == password_at ? reply::kHiddenArgument : argument);
    if (takes_password(argument)) password_at = i + 2;
    if (equals_nocase(argument, "-debug")) {
      log.state().debug_mode = true;
    } else if (equals_nocase(argument, "-path") || equals_nocase(argument, "-ini")) {
      const bool is_path = equals_nocase(argument, "-path");
      if (++i < argc) {
        log.message(reply::kArgumentLog, i, argv[i]);
        (is_path ? pass.config_directory : pass.config_file) = argv[i];
      }
    } else if (equals_nocase(argument, "-log")) {
      log.state().log_mode = true;
    } else if (equals_nocase(argument, "-help") || equals_nocase(argument, "--help")) {
      for (const char* line : reply::kUsage) out.write("%s%s", line, kLineEnd);
      pass.exit_status = 0;
      return pass;
    } else if (equals_nocase(argument, "-version")) {
      out.write(reply::kVersionSwitch, kProductName, kVersionText, kLineEnd);
      out.write(reply::kOk, kLineEnd);
      pass.exit_status = 0;
      return pass;
    } else if (is_filter_switch(argument)) {
      if (!apply_filter_switch(out, argument, settings)) {
        pass.exit_status = 0;
        return pass;
      }
    } else if (equals_nocase(argument, "-convert_zeauth")) {
      pass.exit_status = run_conversion(argc, argv, i);
      return pass;
    } else if (equals_nocase(argument, "-test_config")) {
      pass.test_config = true;
      if (i + 2 < argc && argv[i + 1][0] != '-') {
        pass.test_user = argv[i + 1];
        pass.test_password = argv[i + 2];
        log.message(reply::kArgumentLog, i + 1, argv[i + 1]);
        log.message(reply::kArgumentLog, i + 2, reply::kHiddenArgument);
        i += 2;
      }
    }
  }
  return pass;
}

// What reading the configuration file gave: its path, and what it logged.
struct ConfigRead {
  const std::optional<std::string>& path;
  const std::string& warnings;
};

// The warnings of reading the configuration, one "Warning: " line each.
std::string warning_lines(std::string_view warnings) {
  std::string lines;
  while (!warnings.empty()) {
    const std::size_t end = std::min(warnings.find('\n'), warnings.size());
    if (end > 0) {
      char line[kCommandLineSize];
      text_format(line, sizeof line, reply::kWarning, std::string(warnings.substr(0, end)).c_str(), kLineEnd);
      lines += line;
    }
    warnings.remove_prefix(std::min(end + 1, warnings.size()));
  }
  return lines;
}

// -test_config: what the program reads and where, then what each server says.
int test_configuration(ReplyWriter& out, const FirstPass& pass, const ConfigRead& config, const CoreSettings& settings,
                       const BackendOps& ops, bool opened, const std::string& open_errors) {
  const auto line = [&out](const std::string& text) { out.write("%s%s", text.c_str(), kLineEnd); };
  line(config.path ? "Configuration file: " + path_in_effect(*config.path)
                   : "Configuration file: none found, the defaults are in force");
  out.write(reply::kAccount, account_name().c_str());
  out.write("%s", kLineEnd);
  out.output(warning_lines(config.warnings));
  for (const std::string& setting : core_settings_lines(settings, out.log().state())) line(setting);
  // The backend's settings are shown even when its servers cannot be
  // opened: one of them is what to fix.
  int status = 0;
  if (ops.test_config != nullptr) {
    const TestConfigReport report = ops.test_config(pass.test_user, pass.test_password);
    for (const std::string& text : report.lines) line(text);
    status = report.status;
  }
  if (!opened) {
    std::string reason = open_errors;
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    line("The servers cannot be opened: " + reason);
    return 1;
  }
  return status;
}

int generate_file(ReplyWriter& out, const BackendOps& ops, const char* number) {
  const int n = leading_number(number != nullptr ? number : "");
  if (ops.gen_file == nullptr) {
    out.line(reply::kNotSupported, "Generate File", kLineEnd);
  } else {
    const char* name = n == 1 ? "zeauth_base.txt" : n == 2 ? "zeauth_script.bat" : "zeauth_input.dat";
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
      out.line(reply::kGenFileFailed, name, kLineEnd);
    } else {
      const int items = ops.gen_file(file, n);
      if (items < 0) {
        out.line(reply::kGenFileNoServer, kLineEnd);
      } else {
        out.line(reply::kGenFileDone, items, name, kLineEnd);
      }
      std::fclose(file);
    }
  }
  out.flush();
  return 1;
}

int finish(const ProgramParts& parts, int status) {
  parts.out.flush();
  shutdown_backend(parts.ops, parts.out.log());
  return status;
}

// Forms the command line of a one-shot switch; nothing when the switch lacks
// its arguments or is not a one-shot command.
struct OneShot {
  bool known = false;
  bool complete = false;
};

OneShot form_one_shot(int argc, char** argv, int j, std::array<char, kCommandLineSize>& line) {
  const std::string_view name = argv[j];
  const auto arg = [&](int k) { return argv[k]; };
  if (name == "-add" || name == "-set") {
    if (j + 2 >= argc) return {true, false};
    text_format(line.data(), kCommandLineSize, "set %s %s %s\n", arg(j + 1), arg(j + 2),
                join_arguments(argv, j + 3, argc).c_str());
  } else if (name == "-mod") {
    if (j + 1 >= argc) return {true, false};
    text_format(line.data(), kCommandLineSize, "set %s %s %s\n", arg(j + 1), "(NULL)",
                join_arguments(argv, j + 3, argc).c_str());
  } else if (name == "-del") {
    if (j + 1 >= argc) return {true, false};
    text_format(line.data(), kCommandLineSize, "del %s\n", arg(j + 1));
  } else if (name == "-check") {
    if (j + 2 >= argc) return {true, false};
    text_format(line.data(), kCommandLineSize, "check %s %s\n", arg(j + 1), arg(j + 2));
  } else if (name == "-lookup") {
    if (j + 1 >= argc) return {true, false};
    text_format(line.data(), kCommandLineSize, "lookup %s\n", arg(j + 1));
  } else {
    return {false, false};
  }
  return {true, true};
}

// Runs the first one-shot command of the command line. Returns nothing when
// every argument was an option switch, so that the read loop runs instead.
std::optional<int> second_pass(int argc, char** argv, const ProgramParts& parts) {
  ReplyWriter& out = parts.out;
  Log& log = out.log();
  int j = 1;
  while (j < argc) {
    log.message(reply::kCommandLineCommand);
    const std::string_view argument = argv[j];
    if (argument == "-log" || argument == "-debug" || is_filter_switch(argv[j])) {
      j += 1;
      continue;
    }
    if (argument == "-path" || argument == "-ini") {
      j += 2;
      continue;
    }
    if (argument == "-gen_file") return generate_file(out, parts.ops, j + 1 < argc ? argv[j + 1] : nullptr);

    std::array<char, kCommandLineSize> line{};
    const OneShot shot = form_one_shot(argc, argv, j, line);
    if (!shot.known) {
      log.error(reply::kInvalidSwitch, argv[j], kLineEnd);
      out.write(reply::kInvalidSwitch, argv[j], kLineEnd);
      return finish(parts, 0);
    }
    if (!shot.complete) {
      out.write(reply::kWrongParameterCount, kLineEnd);
      return finish(parts, 0);
    }
    {
      LogBatch command(log);
      dispatch_command(parts.ops, parts.settings, out, std::string_view(line.data()));
    }
    return finish(parts, 0);
  }
  return std::nullopt;
}

int read_loop(std::FILE* input, const ProgramParts& parts) {
  ReplyWriter& out = parts.out;
  Log& log = out.log();
  log.message(reply::kWaitingForCommand);
  LineReader reader(input);
  int done = 0;
  while (done == 0) {
    const std::optional<std::string_view> line = reader.next();
    if (!line) break;
    {
      // The command's log lines go out together once it is answered.
      LogBatch command(log);
      done = dispatch_command(parts.ops, parts.settings, out, *line);
    }
    // Nobody reads the answers any more: as at the end of the input, rather
    // than asking the server about commands whose answers go nowhere.
    if (done == 0 && out.closed()) {
      log.message(reply::kOutputClosed);
      break;
    }
  }
  log.message(reply::kExiting);
  return finish(parts, 0);
}

}  // namespace

std::string join_arguments(char** argv, int first, int count) {
  std::string joined;
  for (int i = first; i < count; ++i) {
    joined += argv[i];
    joined += ' ';
  }
  return joined;
}

void shutdown_backend(const BackendOps& ops, Log& log) {
  {
    LogBatch closing(log);
    if (ops.close != nullptr) {
      log.message(reply::kClosingConnection);
      ops.close();
    }
    if (ops.free != nullptr) ops.free();
  }
  // Whatever an enclosing batch still holds goes to the file while it is known.
  log.flush();
  log.state().log_path.reset();
}

int program_run(int argc, char** argv, std::FILE* input, const ProgramParts& parts) {
  ReplyWriter& out = parts.out;
  Log& log = out.log();
  LogState& log_settings = log.state();
  CoreSettings& settings = parts.settings;
  const BackendOps& ops = parts.ops;

  log.startup_begin();
  log.message(reply::kEnteredArgument);
  const FirstPass pass = first_pass(out, argc, argv, settings);
  if (pass.exit_status) {
    out.flush();
    return *pass.exit_status;
  }

  log_settings.process_id = parts.env.process_id();
  if (ops.init != nullptr) ops.init();
  // What the configuration gets wrong is logged, shown by -test_config, and
  // written to standard error, where someone starting the program by hand
  // sees it whatever the log.
  std::string config_warnings;
  std::optional<std::string> config_file;
  const char* program_path = pass.config_file != nullptr ? pass.config_file : argv[0];
  {
    ErrorCopy copy(log, config_warnings);
    config_file =
        config_load(pass.config_directory, program_path, {settings, log, ops.config}, pass.config_file != nullptr);
    if (!config_file) out.output(config_not_found_line(pass.config_directory, program_path));
    if (ops.check_settings != nullptr) ops.check_settings();
  }
  if (!pass.test_config) out.error_output(warning_lines(config_warnings));
  SlotResult opened = kSlotSuccess;
  std::string open_errors;
  {
    LogBatch start_up(log);
    log.startup_dump();
    const char* log_path = log_settings.log_path ? log_settings.log_path->c_str() : nullptr;
    const int pid = log_settings.process_id;
    if (log_settings.debug_mode) log.message(reply::kStartedDebug, kProductName, kVersionText, pid, log_path);
    if (log_settings.log_mode) log.message(reply::kStartedLogging, kProductName, kVersionText, pid, log_path);
    if (ops.open != nullptr) {
      // The slot logs why it failed; an administrator running the program by
      // hand, without a log, sees the same text on standard error.
      ErrorCopy copy(log, open_errors);
      opened = ops.open();
    }
  }
  if (pass.test_config) {
    return finish(parts, test_configuration(out, pass, {config_file, config_warnings}, settings, ops,
                                            opened != kSlotNegative, open_errors));
  }
  if (opened == kSlotNegative) {
    out.flush();
    out.error_output(open_errors);
    return 0;
  }
  if (argc > 1) {
    if (const std::optional<int> status = second_pass(argc, argv, parts)) return *status;
  }
  return read_loop(input, parts);
}

int program_main(int argc, char** argv, const ProgramParts& parts) {
  console_start();
  // The memory holds the shared secret and users' passwords in clear: no
  // core file may carry them off.
  disable_core_dumps();
  // A file-size limit or a parent that has stopped reading is an error of the
  // write that met it, not the end of the program in the middle of a command.
  ignore_write_signals();
  return program_run(argc, argv, stdin, parts);
}

}  // namespace vantorix
