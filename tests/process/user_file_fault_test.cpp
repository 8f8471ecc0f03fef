// The real program with a user file it cannot use as it would like: a
// read-only directory, a file-size limit, a full disk (simulated by that
// limit), a FIFO or a directory in its place, and several helpers appending
// the same users at once. Every command still gets its one answer.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fake_radius_server.h"
#include "process_runner.h"
#include "temp_dir.h"
#include "userstore/scramble.h"

namespace vantorix::testing {
namespace {

constexpr const char* kSecret = "userfile-secret";
constexpr const char* kScrambleKey = "quietlyturnbrasskeysunderoldbridges";

std::string record(const std::string& name, const std::string& password) {
  return name + " " + *password_scramble(kScrambleKey, password.c_str(), 1) + "\n";
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Equal, or a short note of where they differ (the files are large).
::testing::AssertionResult same_bytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at " << at << ": \""
                                       << actual.substr(at, 40) << "\"";
}

class UserFileFaultTest : public ::testing::Test {
 protected:
  // Accepts the password "pw" only, so that a torn record could not pass.
  UserFileFaultTest()
      : server_(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
          return fake.answer(request, request.password == "pw" ? 2 : 3);
        }) {}

  void SetUp() override {
    ASSERT_TRUE(server_.ready());
    std::filesystem::create_directory(data_dir());
  }

  std::string data_dir() const { return dir_.file("data"); }
  std::string users() const { return data_dir() + "/users.dat"; }
  std::string log() const { return dir_.read("vantorix.log"); }

  ProcessResult run(const std::string& input, ProcessOptions options = {}) {
    dir_.write("vantorix.ini", "radius_host 127.0.0.1\n"
                               "radius_port " + std::to_string(server_.port()) + "\n"
                               "radius_secret " + std::string(kSecret) + "\n"
                               "radius_user_file " + users() + "\n"
                               "log true\n"
                               "log_path " + dir_.file("vantorix.log") + "\n");
    options.working_directory = dir_.path();
    options.timeout = std::chrono::seconds(30);
    ProcessResult result = run_process({vantorix_binary(), "-path", dir_.path()}, input, options);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.signal, 0) << "ended by signal " << result.signal;
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return result;
  }

  // A user file of exactly `size` bytes: alice, then a comment as filler.
  std::string user_file_of_size(std::size_t size) const {
    std::string text = record("alice", "pw");
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // "literal" + std::string.
    const std::size_t filler = size - text.size() - 2;
    text += '#';
    text.append(filler, 'x');
    text += '\n';
    std::ofstream(users(), std::ios::binary) << text;
    return text;
  }

  static ProcessOptions file_size_limit(unsigned long long bytes) {
    ProcessOptions options;
    options.limits = {{RLIMIT_FSIZE, bytes}};
    return options;
  }

  FakeRadiusServer server_;
  TempDir dir_;
};

constexpr const char* kSession = "check bob pw\ncheck carol pw\nlookup bob\nlookup alice\nexit\n";
constexpr const char* kSessionAnswers =
    "+OK bob config 0\n+OK carol config 0\n+OK bob config 0\n+OK alice config 0\n+OK\n";

TEST_F(UserFileFaultTest, ReadOnlyDirectoryFailsAtOnceAndSaysWhyOnce) {
  if (!read_only_mounts_work()) GTEST_SKIP() << "no read-only bind mounts here (needs root)";
  const std::string before = user_file_of_size(200);
  ProcessOptions options;
  options.read_only_paths = {data_dir()};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run(kSession, options).out, kSessionAnswers);
  // Two new users would have cost 2 x 3 pauses of 2 s.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(count_of(log(), "ERROR: Userfile {" + users() + "} cannot be used: Read-only file system;"), 1u) << log();
  EXPECT_EQ(count_of(log(), "Failed to append to Userfile: {" + users() + "}"), 2u);
  EXPECT_TRUE(same_bytes(dir_.read("data/users.dat"), before));
}

TEST_F(UserFileFaultTest, FileAtTheSizeLimitIsAWriteErrorNotTheEnd) {
  // SIGXFSZ at its default would end the program in the middle of a check.
  const std::string before = user_file_of_size(20000);
  const ProcessResult result = run(kSession, file_size_limit(20000));
  EXPECT_EQ(result.out, kSessionAnswers);
  EXPECT_EQ(count_of(log(), "cannot be used: File too large;"), 1u) << log();
  EXPECT_TRUE(same_bytes(dir_.read("data/users.dat"), before));
}

TEST_F(UserFileFaultTest, RecordCutShortByAFullDiskIsTakenBack) {
  // Ten bytes of room: a record fits only in part, as on a disk that fills up.
  const std::string before = user_file_of_size(20000 - 10);
  EXPECT_EQ(run(kSession, file_size_limit(20000)).out, kSessionAnswers);
  EXPECT_TRUE(same_bytes(dir_.read("data/users.dat"), before)) << "a piece of a record stayed";
  // A fresh process without the limit writes where the file ended.
  EXPECT_EQ(run("check bob pw\n").out, "+OK bob config 0\n");
  EXPECT_TRUE(same_bytes(dir_.read("data/users.dat"), before + record("bob", "pw")));
}

TEST_F(UserFileFaultTest, FifoOrDirectoryInsteadOfAFileIsRefused) {
  ASSERT_EQ(::mkfifo(users().c_str(), 0600), 0);
  // Reading a FIFO without a writer would wait for ever on the first check.
  EXPECT_EQ(run("check bob pw\ncheck carol pw\nlookup bob\nexit\n").out,
            "+OK bob config 0\n+OK carol config 0\n+OK bob config 0\n+OK\n");
  EXPECT_EQ(count_of(log(), "ERROR: Userfile {" + users() + "} cannot be used: Not a regular file;"), 1u) << log();

  std::filesystem::remove(users());
  std::filesystem::create_directory(users());
  std::filesystem::remove(dir_.file("vantorix.log"));
  EXPECT_EQ(run("check bob pw\nlookup bob\nexit\n").out, "+OK bob config 0\n+OK bob config 0\n+OK\n");
  EXPECT_EQ(count_of(log(), "ERROR: Userfile {" + users() + "} cannot be used: Not a regular file;"), 1u) << log();
}

TEST_F(UserFileFaultTest, HelpersAcceptingTheSameUsersAtOnceAppendEachOnce) {
  constexpr int kProcesses = 6;
  constexpr int kUsers = 20;
  std::string input;
  std::string answers;
  for (int i = 0; i < kUsers; ++i) {
    input += "check user" + std::to_string(i) + " pw\n";
    answers += "+OK user" + std::to_string(i) + " config 0\n";
  }
  run("exit\n");  // writes the configuration
  ProcessOptions options;
  options.working_directory = dir_.path();
  options.timeout = std::chrono::seconds(60);
  const std::vector<ProcessResult> results = run_processes_at_once(
      std::vector<std::vector<std::string>>(kProcesses, {vantorix_binary(), "-path", dir_.path()}),
      std::vector<std::string>(kProcesses, input), options);
  for (const ProcessResult& result : results) {
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, answers);
  }
  std::map<std::string, int> lines;
  std::istringstream file(dir_.read("data/users.dat"));
  for (std::string line; std::getline(file, line);) ++lines[line + "\n"];
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kUsers));
  for (const auto& [line, count] : lines) EXPECT_EQ(count, 1) << line;
  for (int i = 0; i < kUsers; ++i) EXPECT_EQ(lines.count(record("user" + std::to_string(i), "pw")), 1u) << i;
}

}  // namespace
}  // namespace vantorix::testing
