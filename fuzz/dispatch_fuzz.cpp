// Fuzzes the line reader, the word splitting and dispatch_command with a test
// backend whose slots, results and records the input chooses, under fuzzed
// front-end settings. Checks that every command is answered with whole reply
// lines and that nothing but replies reaches standard output.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/dispatcher.h"
#include "frontend/help_info.h"
#include "frontend/line_reader.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"
#include "platform/console.h"

namespace {

using vantorix::CommandWords;
using vantorix::RecordResult;
using vantorix::UserRecord;

// What the test backend does; chosen by the input for each run.
struct TestBackend {
  std::uint32_t results = 0;  // consumed two bits per slot call
  int number = 0;
  std::string directory;
  std::string domain;
  bool attach_domain = false;

  int next_choice() {
    const int choice = static_cast<int>(results & 3);
    results = (results >> 2) | (results << 30);
    return choice;
  }
};

TestBackend g_backend;

// An integer slot that answers on its own writes one whole line.
void answer_dead(vantorix::ReplyWriter& out) { out.output("-DEAD test backend gave up\n"); }

RecordResult record_slot(CommandWords& words) {
  if (g_backend.attach_domain && words[1] && words[1]->find('@') == std::string::npos) {
    words[1] = *words[1] + "@" + g_backend.domain;  // as a default domain is attached
  }
  switch (g_backend.next_choice()) {
    case 0:
      return RecordResult::none();
    case 1:
      // One whole line, as the RADIUS backend's "-DEAD" texts are.
      return RecordResult::failed("-DEAD test backend gave up");
    default: {
      UserRecord record;
      record.user_name = words[1];
      record.password = words[2];
      switch (g_backend.next_choice()) {
        case 0: break;
        case 1: record.directory = "config"; break;
        case 2: record.directory = g_backend.directory; break;
        default: record.directory = words[3]; break;
      }
      if (g_backend.next_choice() != 0) record.extra = words[3] ? *words[3] : g_backend.directory;
      record.number = g_backend.number;
      return RecordResult::accepted(std::move(record));
    }
  }
}

vantorix::SlotResult integer_slot(vantorix::ReplyWriter& out, CommandWords&) {
  switch (g_backend.next_choice()) {
    case 0: return vantorix::kSlotNegative;
    case 1:
      answer_dead(out);
      return vantorix::kSlotAnswered;
    default: return static_cast<vantorix::SlotResult>(1 + (g_backend.number & 3));
  }
}

int search_slot(vantorix::ReplyWriter& out, CommandWords&) {
  const int choice = g_backend.next_choice();
  if (choice == 1) {
    answer_dead(out);
    return -1;
  }
  return choice * 1000;
}

vantorix::SlotResult extended_slot(vantorix::ReplyWriter& out, CommandWords& words) {
  if (g_backend.next_choice() != 3) return vantorix::kSlotNegative;
  // Handled: the slot writes its own reply.
  out.line("+OK extended %d%s", words[1] ? 1 : 0, vantorix::kLineEnd);
  return vantorix::kSlotSuccess;
}

bool starts_reply(std::string_view line) {
  for (std::string_view prefix : {"+OK", "-ERR", "+DATA", "-DEAD", "+ERR"}) {
    if (line.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

// Every line of what one command wrote must begin a reply, except the closing
// quote of the reply to an empty line, which quotes the line feed itself.
void check_replies(std::string_view output) {
  if (output.empty() || output.back() != '\n') __builtin_trap();
  std::string_view previous;
  while (!output.empty()) {
    const std::size_t end = output.find('\n');
    const std::string_view line = output.substr(0, end);
    if (!starts_reply(line) && !(previous == "-ERR Command not supported '" && line == "'")) __builtin_trap();
    previous = line;
    output.remove_prefix(end + 1);
  }
}

// Texts that reach the reply lines from the configuration file or the
// backend: a configuration line cannot hold a line feed, and the texts of
// RADIUS replies have a target of their own.
std::string one_line(std::string text) {
  for (char& c : text) if (c == '\n') c = ' ';
  return text;
}

char not_line_feed(char c) { return c == '\n' ? ' ' : c; }

void reset_state() { g_backend = {}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  reset_state();

  // Settings and slots come from the end of the input, the command lines
  // from its front.
  const std::uint16_t slots = input.ConsumeIntegral<std::uint16_t>();
  std::string output;
  vantorix::Console console;
  console.capture(&output);
  vantorix::Log log(console);
  log.state().log_path.reset();
  vantorix::ReplyWriter out(console, log);
  const auto integer = [&out](CommandWords& words) { return integer_slot(out, words); };
  vantorix::BackendOps ops;
  if (slots & 0x001) ops.help = [](CommandWords&) { return std::vector<std::string>{}; };
  if (slots & 0x002) ops.exit = integer;
  if (slots & 0x004) ops.check = record_slot;
  if (slots & 0x008) ops.lookup = record_slot;
  if (slots & 0x010) ops.set = integer;
  if (slots & 0x020) ops.mod = integer;
  if (slots & 0x040) ops.del = integer;
  if (slots & 0x080) ops.search = [&out](CommandWords& words) { return search_slot(out, words); };
  if (slots & 0x100) ops.extended = [&out](CommandWords& words) { return extended_slot(out, words); };
  g_backend.results = input.ConsumeIntegral<std::uint32_t>();
  g_backend.number = input.ConsumeIntegral<int>();
  g_backend.attach_domain = (slots & 0x200) != 0;

  vantorix::CoreSettings settings;
  settings.lowercase_username = (slots & 0x400) != 0;
  settings.lowercase_username_set = (slots & 0x800) != 0;
  // Debug mode echoes log lines on standard output, so the reply check is
  // made only while it stays off; the formatting still runs either way.
  const bool debug_start = (slots & 0x1000) != 0;
  log.state().debug_mode = debug_start;
  log.state().process_id = 4242;
  settings.search_min = input.ConsumeIntegralInRange<int>(-1, 6);
  if (slots & 0x2000) {
    settings.filter_from = not_line_feed(input.ConsumeIntegral<char>());
    settings.filter_to = not_line_feed(input.ConsumeIntegral<char>());
  }
  if (slots & 0x4000) {
    settings.dir_hash_base = one_line(input.ConsumeRandomLengthString(300));
    settings.dir_hash_chars = input.ConsumeIntegralInRange<int>(1, 5);
    settings.dir_hash_depth = input.ConsumeIntegralInRange<int>(1, 5);
  }
  if (slots & 0x8000) settings.info_pass = input.ConsumeRandomLengthString(12);
  if (input.ConsumeBool()) settings.default_domain = one_line(input.ConsumeRandomLengthString(20));
  g_backend.directory = one_line(input.ConsumeRandomLengthString(300));
  g_backend.domain = one_line(input.ConsumeRandomLengthString(300));

  std::vector<std::uint8_t> lines = input.ConsumeRemainingBytes<std::uint8_t>();
  if (lines.empty()) return 0;
  std::FILE* stream = ::fmemopen(lines.data(), lines.size(), "rb");
  if (stream == nullptr) return 0;

  vantorix::LineReader reader(stream);
  while (std::optional<std::string_view> line = reader.next()) {
    output.clear();
    const bool debug_before = log.state().debug_mode;
    const int result = vantorix::dispatch_command(ops, settings, out, *line);
    if (!debug_before && !log.state().debug_mode) check_replies(output);
    if (result != 0) break;
  }
  std::fclose(stream);
  reset_state();
  return 0;
}
