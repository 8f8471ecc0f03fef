#include "frontend/program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/dispatcher.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"
#include "platform/console.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

std::string joined_words(const char* name, const CommandWords& words) {
  std::string call = name;
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about
  // "literal" + std::string.
  for (const auto& word : words) {
    call += '|';
    call += word.value_or("-");
  }
  return call;
}

// Every slot call of the test table, in order, with what it was given.
struct Recorder {
  std::vector<std::string> calls;
  SlotResult open_result = kSlotSuccess;

  BackendOps table() {
    BackendOps ops;
    ops.config = [this](std::string_view key, std::string_view value) {
      calls.push_back("config " + std::string(key) + "=" + std::string(value));
      return true;
    };
    ops.init = [this] { calls.push_back("init"); };
    ops.free = [this] { calls.push_back("free"); };
    ops.open = [this] {
      calls.push_back("open");
      return open_result;
    };
    ops.close = [this] { calls.push_back("close"); };
    ops.exit = [this](CommandWords&) {
      calls.push_back("exit");
      return kSlotSuccess;
    };
    ops.check = [this](CommandWords& w) {
      calls.push_back(joined_words("check", w));
      return RecordResult::none();
    };
    ops.set = [this](CommandWords& w) {
      calls.push_back(joined_words("set", w));
      return kSlotSuccess;
    };
    ops.gen_file = [this](std::FILE* file, int n) {
      calls.push_back("gen_file " + std::to_string(n));
      std::fputs("data\n", file);
      return 3;
    };
    return ops;
  }
};

class ProgramTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  ReplyWriter writer_{console_, log_};
  void SetUp() override {
    reset();
    dir_.write("vantorix.ini", "radius_host 127.0.0.1\ndomain example.org\n");
    // Private, as it should be: a warning about it would reach standard error.
    std::filesystem::permissions(dir_.file("vantorix.ini"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    previous_directory_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(previous_directory_); }

  void reset() {
    recorder_ = {};
    ops_ = recorder_.table();
    settings_ = {};
    console_.capture(&out_);
  }

  // Runs the program with `-path <temp dir>` first, then `arguments`.
  int run(std::vector<std::string> arguments, const std::string& input = "", bool with_path = true) {
    std::vector<std::string> all = {"vantorix"};
    if (with_path) all.insert(all.end(), {"-path", dir_.path()});
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::FILE* file = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), file);
    std::rewind(file);
    const int status = program_run(static_cast<int>(all.size()), argv.data(), file, {ops_, settings_, writer_, env_});
    remaining_input_ = std::ftell(file) < static_cast<long>(input.size());
    std::fclose(file);
    return status;
  }

  Recorder recorder_;
  BackendOps ops_;
  CoreSettings settings_;
  SystemEnv env_;
  testing::TempDir dir_;
  std::filesystem::path previous_directory_;
  std::string out_;
  bool remaining_input_ = false;
};

using Calls = std::vector<std::string>;

TEST_F(ProgramTest, ReadLoopRunsBetweenOpenAndTheExitPath) {
  EXPECT_EQ(run({}, "check Bob pw\nexit\nhelp\n"), 0);
  EXPECT_EQ(out_, "-ERR Bob password wrong or not a valid user\n+OK\n");
  EXPECT_EQ(recorder_.calls,
            (Calls{"init", "config radius_host=127.0.0.1", "open", "check|check|Bob|pw|-", "exit", "close", "free"}));
  EXPECT_EQ(settings_.default_domain, "example.org");
  EXPECT_FALSE(log_.state().log_path);
}

TEST_F(ProgramTest, EndOfInputAlsoRunsTheExitPath) {
  EXPECT_EQ(run({"-log", "-debug"}, "version"), 0);
  EXPECT_NE(out_.find("+OK Velkor's Vantorix Version External Authentication v2.4b\n+OK\n"), std::string::npos);
  const std::size_t debug_banner = out_.find("Started in debug mode");
  const std::size_t log_banner = out_.find("Started in logging mode");
  ASSERT_NE(debug_banner, std::string::npos) << out_;
  EXPECT_GT(log_banner, debug_banner);
  EXPECT_EQ(recorder_.calls.back(), "free");
  EXPECT_EQ(recorder_.calls[recorder_.calls.size() - 2], "close");
}

TEST_F(ProgramTest, FailedOpenEndsBeforeAnyCommand) {
  recorder_.open_result = kSlotNegative;
  EXPECT_EQ(run({"-check", "alice", "secret"}, "exit\n"), 0);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(recorder_.calls, (Calls{"init", "config radius_host=127.0.0.1", "open"}));
}

TEST_F(ProgramTest, FailedOpenAlsoTellsStandardErrorWhy) {
  ops_.open = [this] {
    log_.error("-DEAD: Couldn't find host {%s}", "nowhere");
    return kSlotNegative;
  };
  EXPECT_EQ(run({}, "exit\n"), 0);
  // The capture takes standard error as well: nothing else was written.
  EXPECT_EQ(out_, "-DEAD: Couldn't find host {nowhere}\n");
  EXPECT_EQ(log_.state().error_copy, nullptr);
}

TEST_F(ProgramTest, PasswordArgumentsStayOutOfTheLog) {
  log_.state().log_path = dir_.file("vx.log");
  EXPECT_EQ(run({"-log", "-check", "alice", "s3cret-one", "10.1.2.3"}, ""), 0);
  EXPECT_EQ(run({"-log", "-add", "bob", "s3cret-two", "k=v"}, ""), 0);
  const std::string log = dir_.read("vx.log");
  EXPECT_NE(log.find("*** 4 - -check ***"), std::string::npos) << log;
  EXPECT_NE(log.find("*** 5 - alice ***"), std::string::npos);
  EXPECT_NE(log.find("*** 6 - (hidden) ***"), std::string::npos);
  EXPECT_NE(log.find("*** 7 - 10.1.2.3 ***"), std::string::npos);
  EXPECT_EQ(log.find("s3cret"), std::string::npos);
  // The command itself still gets the password.
  EXPECT_NE(std::find(recorder_.calls.begin(), recorder_.calls.end(), "set|set|bob|s3cret-two|k=v"),
            recorder_.calls.end());
}

TEST_F(ProgramTest, OneShotCommandsFormTheirLines) {
  const struct {
    std::vector<std::string> arguments;
    std::string call;
    std::string reply;
  } cases[] = {
      {{"-check", "alice", "secret", "10.1.2.3"}, "check|check|alice|secret|-",
       "-ERR alice password wrong or not a valid user\n"},
      {{"-log", "-filtername,.,_", "-check", "j.doe", "pw"}, "check|check|j_doe|pw|-",
       "-ERR j.doe password wrong or not a valid user\n"},
      {{"-mod", "bob", "x", "a=1", "b=2"}, "set|set|bob|(NULL)|a=1 b=2", "+OK 'bob' has been added to database\n"},
      {{"-set", "bob", "pw"}, "set|set|bob|pw|-", "+OK 'bob' has been added to database\n"},
      {{"-add", "bob", "pw", "k=v"}, "set|set|bob|pw|k=v", "+OK 'bob' has been added to database\n"},
  };
  for (const auto& c : cases) {
    reset();
    out_.clear();
    EXPECT_EQ(run(c.arguments, "exit\n"), 0);
    EXPECT_TRUE(remaining_input_) << "standard input must not be read";
    EXPECT_EQ(out_, c.reply);
    EXPECT_EQ(recorder_.calls, (Calls{"init", "config radius_host=127.0.0.1", "open", c.call, "close", "free"}));
  }
}

TEST_F(ProgramTest, FilterSwitchSetsThePair) {
  const struct {
    const char* argument;
    char from;
    char to;
  } cases[] = {
      {"-filtername,.,_", '.', '_'},
      {"-filtername,.,", '.', ' '},
      {"-FILTERNAMEx,,,%", ',', '%'},
  };
  for (const auto& c : cases) {
    settings_ = {};
    EXPECT_EQ(run({c.argument}), 0);
    EXPECT_EQ(settings_.filter_from, c.from) << c.argument;
    EXPECT_EQ(settings_.filter_to, c.to) << c.argument;
  }
}

TEST_F(ProgramTest, GenFileWritesTheNumberedFile) {
  const struct {
    std::vector<std::string> arguments;
    const char* file;
    int n;
  } cases[] = {
      {{"-gen_file"}, "zeauth_input.dat", 0},
      {{"-gen_file", "1"}, "zeauth_base.txt", 1},
      {{"-gen_file", "2x"}, "zeauth_script.bat", 2},
      {{"-gen_file", "99999999999999"}, "zeauth_input.dat", 2147483647},
  };
  for (const auto& c : cases) {
    recorder_.calls.clear();
    out_.clear();
    EXPECT_EQ(run(c.arguments), 1);
    EXPECT_EQ(out_, std::string("+OK Generate File Completed 3 items found - {") + c.file + "}\n");
    EXPECT_EQ(dir_.read(c.file), "data\n");
    EXPECT_EQ(recorder_.calls.back(), "gen_file " + std::to_string(c.n));
  }
  ops_.gen_file = nullptr;
  std::filesystem::remove(dir_.file("zeauth_input.dat"));
  out_.clear();
  EXPECT_EQ(run({"-gen_file"}), 1);
  EXPECT_EQ(out_, "-ERR 'Generate File' is not supported\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.file("zeauth_input.dat")));
}

}  // namespace
}  // namespace vantorix
