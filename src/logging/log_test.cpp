#include "logging/log.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/reply_writer.h"
#include "platform/console.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

using testing::TempDir;

// A log line "<pid> <20-character time> <message>", split into its parts.
struct LogLine {
  int process_id = -1;
  std::string time;
  std::string message;
};

// "Dec 06 22:46:51 2026": '9' stands for a digit, 'a' for a letter.
bool is_time_text(const std::string& text) {
  static constexpr char kShape[] = "aaa 99 99:99:99 9999";
  if (text.size() != sizeof kShape - 1) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (kShape[i] == '9' ? !std::isdigit(c) : kShape[i] == 'a' ? !std::isalpha(c) : c != kShape[i]) {
      return false;
    }
  }
  return true;
}

LogLine parse_line(const std::string& line) {
  LogLine parsed;
  std::size_t blank = line.find(' ');
  if (blank == std::string::npos || line.size() < blank + 22) return parsed;
  parsed.process_id = std::stoi(line.substr(0, blank));
  parsed.time = line.substr(blank + 1, 20);
  parsed.message = line.substr(blank + 22);
  return parsed;
}

// The messages of a log text, each line checked for its id and time.
std::vector<std::string> messages_of(const std::string& text, int process_id) {
  std::vector<std::string> messages;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    LogLine parsed = parse_line(line);
    EXPECT_EQ(parsed.process_id, process_id) << line;
    EXPECT_TRUE(is_time_text(parsed.time)) << line;
    messages.push_back(parsed.message);
  }
  return messages;
}

using Messages = std::vector<std::string>;

[[maybe_unused]] std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class LogTest : public ::testing::Test {
 protected:
  Console terminal_;
  Log log_{terminal_};
  ReplyWriter out_{terminal_, log_};
  void SetUp() override {
    log_.state().process_id = 4321;
    log_.state().log_path = dir_.file("vantorix.log");
    terminal_.capture(&console_);
  }

  std::string log_text() const { return dir_.read_text("vantorix.log"); }
  Messages log_messages() const { return messages_of(log_text(), 4321); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_.file(name)); }

  TempDir dir_;
  std::string console_;
};

TEST_F(LogTest, MessageIsCutAtItsLastLineBreak) {
  log_.state().log_mode = true;
  log_.message("abc\n");
  log_.message("one\ntwo");
  log_.message("a\r\nb");
  log_.message("%s|%d", "x\ry", 5);
  EXPECT_EQ(log_messages(), (Messages{"abc", "one", "a", "x"}));

  // Only the last line feed goes: the rest of the message takes two lines.
  log_.state().log_path = dir_.file("second.log");
  log_.message("one\ntwo\n");
  std::string text = dir_.read_text("second.log");
  EXPECT_EQ(parse_line(text).process_id, 4321);
  EXPECT_EQ(text.substr(26), "one\ntwo\n");
}

TEST_F(LogTest, LinesCarryProcessIdTimeAndErrorMark) {
  log_.state().log_mode = true;
  log_.message("checking %s", "joe");
  log_.error("socket %d failed", 3);
  std::string text = log_text();
  ASSERT_EQ(text.back(), '\n');
  EXPECT_EQ(log_messages(), (Messages{"checking joe", "ERROR: socket 3 failed"}));
  std::size_t second = text.find('\n') + 1;
  EXPECT_EQ(text, "4321 " + text.substr(5, 20) + " checking joe\n4321 " + text.substr(second + 5, 20) +
                      " ERROR: socket 3 failed\n");
}

TEST_F(LogTest, WithoutAModeOnlyErrorsAreWritten) {
  // Formatting this would read through a bad pointer: the gate must come first.
  log_.message("%s", reinterpret_cast<const char*>(1));
  EXPECT_FALSE(exists("vantorix.log"));
  out_.line("-ERR %s%s", "nope", "\n");
  EXPECT_FALSE(exists("vantorix.log"));
  log_.error("lost %s", "server");
  EXPECT_EQ(log_messages(), (Messages{"ERROR: lost server"}));
  EXPECT_EQ(console_, "-ERR nope\n");
}

TEST_F(LogTest, DebugModeEchoesEveryLineOnStandardOutput) {
  log_.state().debug_mode = true;
  log_.message("hello");
  log_.error("bad");
  EXPECT_EQ(messages_of(console_, 4321), (Messages{"hello", "ERROR: bad"}));
  EXPECT_EQ(console_.back(), '\n');
  EXPECT_EQ(log_messages(), (Messages{"hello", "ERROR: bad"}));

  // Debug mode without a log path: standard output only.
  console_.clear();
  log_.state().log_path.reset();
  log_.message("again");
  EXPECT_EQ(messages_of(console_, 4321), (Messages{"again"}));
}

TEST_F(LogTest, LongMessagesAreCutByTheirBuffers) {
  log_.state().log_mode = true;
  std::string long_text(5000, 'm');
  log_.message("%s", long_text.c_str());
  log_.error("%s", long_text.c_str());
  Messages messages = log_messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].size(), 4095u);
  EXPECT_EQ(messages[1], "ERROR: " + std::string(4094, 'm'));

  out_.write("%s", long_text.c_str());
  EXPECT_EQ(console_, std::string(4094, 'm'));
}

TEST_F(LogTest, ReplyGoesToStandardOutputAndIsEchoedIntoTheLog) {
  log_.state().log_mode = true;
  out_.line("+OK%s", "\n");
  out_.text("ab\xe9");  // signed: a high byte shows as eight hex digits
  out_.text("ok");      // two characters or fewer: no "end is" line
  EXPECT_EQ(console_, "+OK\nab\xe9ok");
  EXPECT_EQ(log_messages(), (Messages{"--> (+OK", "end is (4b)(0a)", "--> (ab\xe9)",
                                      "end is (62)(ffffffe9)", "--> (ok)"}));

  // Pieces written together are echoed one by one, as separate writes would be.
  console_.clear();
  const std::string long_piece(5000, 'x');
  out_.texts({"ab\xe9", "ok", "\n"});
  out_.texts({long_piece.c_str(), "\n"});
  EXPECT_EQ(console_, "ab\xe9ok\n" + long_piece + "\n");
  const Messages messages = log_messages();
  ASSERT_GE(messages.size(), 8u);
  EXPECT_EQ(Messages(messages.begin() + 5, messages.begin() + 8), (Messages{"--> (ab\xe9)", "end is (62)(ffffffe9)", "--> (ok)"}));
}

TEST_F(LogTest, UnwritableLogFileIsToldOnStandardErrorOnceAndAgainWhenItCanBeWritten) {
  log_.state().log_mode = true;
  const std::string path = dir_.file("missing/vantorix.log");
  log_.state().log_path = path;
  log_.message("nowhere");
  log_.error("nowhere either");
  EXPECT_EQ(log_.state().log_path, path);
  const std::string told = "Log file {" + path + "} cannot be written: ";
  EXPECT_TRUE(console_.starts_with(told)) << console_;
  EXPECT_TRUE(console_.ends_with("\n"));
  EXPECT_EQ(console_.find(told, 1), std::string::npos) << "said once: " << console_;

  console_.clear();
  std::filesystem::create_directory(dir_.file("missing"));
  log_.message("back");
  log_.message("again");
  EXPECT_EQ(console_, "Log file {" + path + "} can be written again\n");
  EXPECT_EQ(messages_of(dir_.read_text("missing/vantorix.log"), 4321), (Messages{"back", "again"}));
}

TEST_F(LogTest, BatchWritesItsLinesTogetherWhenItEnds) {
  log_.state().log_mode = true;
  {
    LogBatch command(log_);
    log_.message("one");
    {
      LogBatch inner(log_);
      log_.error("two");
    }
    EXPECT_FALSE(exists("vantorix.log")) << "nothing before the outermost batch ends";
    log_.message("three");
  }
  EXPECT_EQ(log_messages(), (Messages{"one", "ERROR: two", "three"}));

  // More than one write holds goes out in several, each of whole lines.
  log_.state().log_path = dir_.file("second.log");
  Messages expected;
  {
    LogBatch big(log_);
    for (int i = 0; i < 40; ++i) {
      expected.emplace_back(4000, static_cast<char>('a' + i % 26));
      log_.message("%s", expected.back().c_str());
    }
  }
  EXPECT_EQ(messages_of(dir_.read_text("second.log"), 4321), expected);
}

// The bytes a line feed takes in a text file: 1, or 2 where the C library
// writes CR LF (Windows). The log is a text file, and its limits count what
// is on the disk.
std::int64_t text_line_end_size() {
  TempDir scratch;
  std::FILE* file = std::fopen(scratch.file("line").c_str(), "w");
  if (file == nullptr) return 1;
  std::fputs("\n", file);
  std::fclose(file);
  return static_cast<std::int64_t>(std::filesystem::file_size(scratch.file("line")));
}

// Rotation. A line "4321 <time> <message>\n" takes 26 bytes and the line end
// plus the message.
const std::int64_t kLineOverhead = 26 + text_line_end_size();

class LogRotationTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    log_.state().log_mode = true;
  }
  void fill_log(std::int64_t bytes) {
    std::ofstream out(dir_.file("vantorix.log"), std::ios::binary | std::ios::trunc);
    out << std::string(static_cast<std::size_t>(bytes), 'x');
  }
  std::int64_t size_of(const std::string& name) const {
    return static_cast<std::int64_t>(std::filesystem::file_size(dir_.file(name)));
  }
  // Makes the backup name a directory with content, so no rotation can succeed.
  void block_backup() {
    std::filesystem::create_directories(dir_.file("vantorix.log.1/inside"));
  }
};

TEST_F(LogRotationTest, FileOfExactlyTheLimitStays) {
  fill_log(kLogRotateSize - kLineOverhead - 4);
  log_.message("stay");
  EXPECT_EQ(size_of("vantorix.log"), kLogRotateSize);
  EXPECT_FALSE(exists("vantorix.log.1"));
}

TEST_F(LogRotationTest, LineThatPassesTheLimitGoesIntoTheBackup) {
  dir_.write("vantorix.log.1", "older backup\n");
  fill_log(kLogRotateSize - kLineOverhead - 4);
  log_.message("past!");
  EXPECT_FALSE(exists("vantorix.log"));
  EXPECT_EQ(size_of("vantorix.log.1"), kLogRotateSize + 1);
  std::string backup = dir_.read_text("vantorix.log.1");
  EXPECT_EQ(backup.substr(backup.size() - 6), "past!\n");

  log_.message("fresh");
  EXPECT_EQ(log_messages(), (Messages{"fresh"}));
}

TEST_F(LogRotationTest, FailedRotationEndsFileLoggingOnlyPastTheHardLimit) {
  block_backup();
  fill_log(kLogGiveUpSize - kLineOverhead - 4);  // exactly 2,000,000 after the line
  log_.message("keep");
  EXPECT_TRUE(log_.state().log_path.has_value());
  log_.message("more");
  EXPECT_FALSE(log_.state().log_path.has_value());
  EXPECT_EQ(size_of("vantorix.log"), kLogGiveUpSize + kLineOverhead + 4);

  // File logging has ended for the run, errors included, and standard error says so.
  log_.error("unwritten");
  EXPECT_EQ(size_of("vantorix.log"), kLogGiveUpSize + kLineOverhead + 4);
  EXPECT_NE(console_.find("Log file {" + dir_.file("vantorix.log") + "} is past 2000000 bytes and cannot be moved"),
            std::string::npos)
      << console_;
}

TEST_F(LogRotationTest, RotateSaysWhetherItMovedTheFile) {
  dir_.write("a.log", "one\n");
  dir_.write("a.log.1", "old\n");
  const std::string path = dir_.file("a.log");
  EXPECT_EQ(log_rotate(path.c_str(), 4), Rotation::not_needed);  // not larger than 4 bytes
  EXPECT_EQ(log_rotate(path.c_str(), 3), Rotation::moved);
  EXPECT_EQ(dir_.read("a.log.1"), "one\n");
  EXPECT_EQ(log_rotate(path.c_str()), Rotation::not_needed);  // moved already
  EXPECT_EQ(log_rotate(nullptr), Rotation::failed);

  // While another process holds the lock it is moving the file: leave it.
  dir_.write("a.log", "two\n");
  FileError error;
  OpenFile other = OpenFile::open(path, OpenFile::Mode::read, error);
  ASSERT_TRUE(other.lock(0, error));
  EXPECT_EQ(log_rotate(path.c_str(), -1, 0), Rotation::not_needed);
  EXPECT_EQ(dir_.read("a.log"), "two\n");
}

#ifndef _WIN32  // the program's paths end at 259 characters on Windows (MAX_PATH)
TEST_F(LogRotationTest, BackupNameIsWholeForAnyPathLength) {
  // 515 characters: a backup name cut to 511 would name another file.
  std::string directory = dir_.path() + "/" + std::string(200, 'd') + "/" + std::string(200, 'e');
  std::filesystem::create_directories(directory);
  const std::string path = directory + "/" + std::string(515 - directory.size() - 6, 'f') + ".logs";
  ASSERT_EQ(path.size(), 515u);
  const std::string unrelated = path.substr(0, 511);
  std::ofstream(unrelated) << "someone else's\n";
  std::ofstream(path) << "log\n";
  ASSERT_EQ(log_rotate(path.c_str()), Rotation::moved);
  EXPECT_EQ(read_whole(path + ".1"), "log\n");
  EXPECT_EQ(read_whole(unrelated), "someone else's\n");
}
#endif

TEST_F(LogTest, LongLinesStayWhole) {
  log_.state().log_mode = true;
  const std::string long_text(5000, 'm');
  log_.error("%s", long_text.c_str());
  EXPECT_EQ(log_messages(), (Messages{"ERROR: " + std::string(4094, 'm')}));
}

// The start-up buffer.
class StartupLogTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    log_.state().process_id = 0;
    log_.startup_begin();
  }
};

TEST_F(StartupLogTest, HoldsEveryLineUntilTheDump) {
  log_.state().debug_mode = true;
  log_.message("first");
  log_.error("second");
  EXPECT_EQ(console_, "");
  EXPECT_FALSE(exists("vantorix.log"));

  const StartupLog& startup = log_.state().startup;
  // Two entries of "0 <time> message\n": their lengths plus 2 each.
  EXPECT_EQ(startup.count, (23 + 6) + 2 + (23 + 14) + 2);
  const std::string& text = startup.text;
  ASSERT_EQ(text.size(), 2u + 23 + 5 + 2 + 23 + 13);
  EXPECT_TRUE(is_time_text(text.substr(4, 20)));
  EXPECT_EQ(text, "##0 " + text.substr(4, 20) + " first##0 " + text.substr(34, 20) + " ERROR: second");
}

TEST_F(StartupLogTest, DumpReplaysEntriesSplitAtHashes) {
  log_.message("plain");
  log_.message("has#two##parts");
  log_.error("oops");
  log_.state().process_id = 4321;
  log_.state().log_mode = true;
  log_.startup_dump();

  Messages messages = log_messages();
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(messages[0], "Contents of Start Up log buffer {");
  EXPECT_EQ(parse_line(messages[1]).process_id, 0);
  EXPECT_EQ(parse_line(messages[1]).message, "plain");
  EXPECT_EQ(parse_line(messages[2]).message, "has");
  EXPECT_EQ(messages[3], "two");
  EXPECT_EQ(messages[4], "parts");
  EXPECT_EQ(parse_line(messages[5]).message, "ERROR: oops");
  EXPECT_EQ(messages[6], "}");

  const StartupLog& startup = log_.state().startup;
  EXPECT_FALSE(startup.active);
  EXPECT_EQ(startup.count, 0);
  EXPECT_EQ(startup.text, "");
  log_.message("after");
  EXPECT_EQ(log_messages().back(), "after");
}

TEST_F(StartupLogTest, DumpWithoutAModeWritesOnlyTheErrors) {
  // Errors reach the log whatever the modes, those of start-up too: a
  // warning about the configuration must not depend on logging being on.
  log_.message("not written");
  log_.error("written %d", 1);
  log_.error("and %s", "two\n");
  log_.state().process_id = 4321;
  log_.startup_dump();
  EXPECT_EQ(log_messages(), (Messages{"ERROR: written 1", "ERROR: and two"}));
  EXPECT_EQ(console_, "");
  EXPECT_EQ(log_.state().startup.text, "");
  EXPECT_TRUE(log_.state().startup.errors.empty());
}

TEST_F(LogTest, ErrorCopyCollectsEveryErrorMessage) {
  std::string copy;
  {
    ErrorCopy copying(log_, copy);
    log_.message("not an error");
    log_.error("-DEAD: Couldn't find host {%s}", "x");
    log_.error("two lines\n}");
  }
  log_.error("after");
  EXPECT_EQ(copy, "-DEAD: Couldn't find host {x}\ntwo lines\n}\n");
}

TEST_F(StartupLogTest, FillsUpAtTheExactCount) {
  const StartupLog& startup = log_.state().startup;
  std::string big(3000, 'b');
  log_.startup_add("%s", big.c_str());
  EXPECT_EQ(startup.count, 3002);
  // 3002 + 1092 = 4094: still below the limit, stored.
  std::string fits(1092, 'f');
  log_.startup_add("%s", fits.c_str());
  EXPECT_FALSE(startup.full);
  EXPECT_EQ(startup.count, 4096);
  EXPECT_EQ(startup.text, "##" + big + "##" + fits);

  log_.startup_add("x");
  EXPECT_TRUE(startup.full);
  EXPECT_EQ(startup.text.size(), 4096u);
  log_.startup_add("y");
  EXPECT_EQ(startup.count, 4097);

  // Reaching the limit exactly drops the entry that reached it.
  log_.startup_begin();
  log_.startup_add("%s", big.c_str());
  std::string reaches(1093, 'r');
  log_.startup_add("%s", reaches.c_str());
  EXPECT_TRUE(startup.full);
  EXPECT_EQ(startup.text, "##" + big);
}

}  // namespace
}  // namespace vantorix
