// A megabyte of random bytes on standard input: the program must neither crash
// nor hang, and must answer every line with exactly one reply.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

constexpr std::size_t kInputSize = 1 << 20;
constexpr std::string_view kReply = "-ERR Command not supported '";
// The reply quotes at most 20 characters of the command word.
constexpr std::size_t kLongestReply = kReply.size() + 20 + 1;

// First letters of the command words. A command word must begin with its own
// letter in lower case, so no line that begins otherwise can reach the
// backend (a check would wait for the server) or end the program.
constexpr std::string_view kCommandInitials = "heclsmdiqv";

struct RandomInput {
  std::string text;
  std::size_t lines = 0;
};

// Random bytes of every value in lines of random length, mostly short, some
// past the 1023 characters the program reads of a line. Every line ends in a
// line feed. The seed is fixed, so every run sends the same bytes.
RandomInput make_random_input() {
  std::mt19937 random(20240607);
  RandomInput input;
  input.text.reserve(kInputSize + 4096);
  while (input.text.size() < kInputSize) {
    const std::uint32_t shape = random();
    const std::size_t length = shape % 8 == 0 ? (shape >> 3) % 3000 : (shape >> 3) % 80;
    const std::size_t start = input.text.size();
    for (std::size_t i = 0; i < length; ++i) {
      char c = static_cast<char>(random() & 0xff);
      if (c == '\n') c = '\r';
      input.text.push_back(c);
    }
    if (length > 0 && kCommandInitials.find(input.text[start]) != std::string_view::npos) input.text[start] = 'X';
    input.text.push_back('\n');
    ++input.lines;
  }
  return input;
}

TEST(RandomInput, EveryLineGetsOneReplyWithoutCrashOrHang) {
  const RandomInput input = make_random_input();
  TempDir dir;
  // A configuration without faults: nothing but a crash may reach standard error.
  dir.write("vantorix.ini", "radius_host 127.0.0.1\nradius_port 9\nradius_secret random-input\n");
  std::filesystem::permissions(dir.file("vantorix.ini"),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ProcessOptions options = in_directory(dir.path());
  options.timeout = std::chrono::milliseconds(30000);
  const ProcessResult result = run_process({vantorix_binary(), "-path", dir.path()}, input.text, options);

  ASSERT_FALSE(result.timed_out);
  ASSERT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.err, "");

  // Each reply is one line, except the reply to an empty line: its command
  // word is the line feed itself, so the closing quote stands on a line of
  // its own.
  std::size_t replies = 0;
  std::string_view out = result.out;
  std::string_view previous;
  while (!out.empty()) {
    const std::size_t end = out.find('\n');
    ASSERT_NE(end, std::string_view::npos) << "unfinished last line";
    const std::string_view line = out.substr(0, end);
    out.remove_prefix(end + 1);
    if (line.starts_with(kReply)) {
      ++replies;
      EXPECT_LE(line.size(), kLongestReply) << "reply " << replies;
    } else {
      ASSERT_TRUE(line == "'" && previous == kReply) << "after reply " << replies << ": " << line;
    }
    previous = line;
  }
  EXPECT_EQ(replies, input.lines);
}

}  // namespace
}  // namespace vantorix::testing
