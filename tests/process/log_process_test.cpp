// One log file shared by several processes of the real program at once.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_radius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

constexpr const char* kSecret = "log-secret";
constexpr std::int64_t kRotateSize = 1000000;

class SharedLogTest : public ::testing::Test {
 protected:
  void write_config(std::uint16_t port) {
    dir_.write("vantorix.ini", "radius_host 127.0.0.1\n"
                               "radius_port " + std::to_string(port) + "\n"
                               "radius_secret " + std::string(kSecret) + "\n"
                               "radius_user_file " + dir_.file("users.dat") + "\n"
                               "log true\n"
                               "log_path " + log_path() + "\n");
  }
  std::string log_path() const { return dir_.file("vantorix.log"); }
  std::vector<std::string> argv() const { return {vantorix_binary(), "-path", dir_.path()}; }
  std::int64_t size_of(const std::string& path) const {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
  }
  static ProcessOptions bounded() {
    ProcessOptions options;
    options.timeout = std::chrono::seconds(60);
    return options;
  }

  TempDir dir_;
};

// The log's lines, without their line ends (CR LF from a Windows program).
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// "<pid> Dec 06 22:46:51 2026 ": what every line of the log begins with.
bool has_line_head(const std::string& line) {
  const std::size_t blank = line.find(' ');
  if (blank == 0 || blank == std::string::npos || line.size() < blank + 22) return false;
  for (std::size_t i = 0; i < blank; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  return line[blank + 4] == ' ' && line[blank + 7] == ' ' && line[blank + 10] == ':' && line[blank + 21] == ' ';
}

// Every process that finds the log past the limit tries to rotate it at once:
// the first one moves it, and none may then replace that backup with the new,
// short log (which would lose the whole 1 MB).
TEST_F(SharedLogTest, ProcessesRotatingAtOnceKeepTheBackup) {
  write_config(1812);
  constexpr int kRounds = 30;
  constexpr int kProcesses = 8;
  const std::string filler = std::string(99, 'f') + "\n";
  for (int round = 0; round < kRounds; ++round) {
    std::filesystem::remove(log_path() + ".1");
    {
      std::ofstream log(log_path(), std::ios::binary | std::ios::trunc);
      for (std::int64_t i = 0; i < kRotateSize / 100 - 1; ++i) log << filler;
    }
    const std::vector<ProcessResult> results = run_processes_at_once(
        std::vector<std::vector<std::string>>(kProcesses, argv()),
        std::vector<std::string>(kProcesses, "version\nexit\n"), bounded());
    std::set<std::string> pids;
    for (const ProcessResult& result : results) {
      ASSERT_FALSE(result.timed_out);
      ASSERT_EQ(result.exit_status, 0) << result.err;
    }
    ASSERT_GT(size_of(log_path() + ".1"), kRotateSize) << "round " << round << ": the backup was replaced";
    std::ifstream backup(log_path() + ".1", std::ios::binary);
    std::string first;
    std::getline(backup, first);
    EXPECT_EQ(first + "\n", filler);
    // No line was lost: every process's exit line is in the log or its backup.
    const std::string both = dir_.read("vantorix.log.1") + dir_.read("vantorix.log");
    const std::string exit_line = "***Exiting***";
    std::size_t exits = 0;
    for (std::size_t at = both.find(exit_line); at != std::string::npos; at = both.find(exit_line, at + 1)) ++exits;
    EXPECT_EQ(exits, static_cast<std::size_t>(kProcesses)) << "round " << round;
  }
}

// Lines longer than a stdio buffer (4096 bytes) from several processes at
// once: each must stand whole on a line of its own.
TEST_F(SharedLogTest, LongLinesOfSeveralProcessesNeverTear) {
  constexpr int kAttributes = 40;
  constexpr int kChecks = 30;
  constexpr int kProcesses = 4;
  FakeRadiusServer server(kSecret, [](const RadiusRequest& request, const FakeRadiusServer& fake) {
    std::vector<std::uint8_t> attributes;
    for (int i = 0; i < kAttributes; ++i) {
      const auto vsa = radius_attribute(26, std::string(120, request.user_name[0]));
      attributes.insert(attributes.end(), vsa.begin(), vsa.end());
    }
    return fake.answer(request, 2, attributes);
  });
  ASSERT_TRUE(server.ready());
  write_config(server.port());
  std::vector<std::string> inputs;
  for (int p = 0; p < kProcesses; ++p) {
    std::string input;
    const char letter = static_cast<char>('a' + p);
    for (int i = 0; i < kChecks; ++i) input += std::string("check ") + letter + std::to_string(i) + " pw\n";
    inputs.push_back(input);
  }
  const std::vector<ProcessResult> results =
      run_processes_at_once(std::vector<std::vector<std::string>>(kProcesses, argv()), inputs, bounded());
  for (const ProcessResult& result : results) {
    ASSERT_FALSE(result.timed_out);
    ASSERT_EQ(result.exit_status, 0) << result.err;
  }

  // The echo of the extra text: "--> (" and 4090 of its characters (the
  // message is cut at 4095), 4100 bytes or more with the line's head.
  std::size_t long_lines = 0;
  for (const std::string& line : lines_of(dir_.read("vantorix.log"))) {
    const std::size_t echo = line.find(" --> (");
    ASSERT_TRUE(has_line_head(line)) << line.substr(0, 80);
    if (echo == std::string::npos || line.size() < 4096) continue;
    ++long_lines;
    const std::string text = line.substr(echo + 6);
    ASSERT_EQ(text.size(), 4090u) << line.substr(0, 80);
    // One process's letters only, in groups of 120 with a blank between.
    for (std::size_t i = 0; i < text.size(); ++i) {
      ASSERT_EQ(text[i], (i + 1) % 121 == 0 ? ' ' : text[0]) << "torn at " << i << ": " << line.substr(0, 80);
    }
  }
  EXPECT_EQ(long_lines, static_cast<std::size_t>(kChecks * kProcesses));
}

// "log_syslog true": every line the log file gets goes to the system log too
// (facility mail, ident vantorix), errors at priority err (<19>), the rest at
// info (<22>), logging on or off. The child sees a socket of the test as /dev/log.
TEST_F(SharedLogTest, LogSyslogSendsTheLinesToTheSystemLogToo) {
  const char* windows = std::getenv("VANTORIX_TEXT_STREAMS_CRLF");
  if (windows != nullptr && std::string(windows) == "1") GTEST_SKIP() << "the Windows program has no system log";
  if (!read_only_mounts_work()) GTEST_SKIP() << "no mount namespaces here (needs root)";
  std::filesystem::create_directory(dir_.file("dev"));
  const int receiver = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{AF_UNIX, {}};
  const std::string socket_path = dir_.file("dev/log");
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  ASSERT_EQ(::bind(receiver, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const timeval tick{0, 50000};
  ::setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
  ProcessOptions options = bounded();
  options.dev_directory = dir_.file("dev");
  for (const bool logging : {true, false}) {
    SCOPED_TRACE(logging ? "logging on" : "logging off");
    write_config(9);
    dir_.write("vantorix.ini", dir_.read("vantorix.ini") + "log_syslog true\nbogus_key 1\n" +
                                   (logging ? "" : "log false\nlog_path " + log_path() + "\n"));
    // Read while the program runs, as a system log does: each line is a
    // datagram, and the queue holds only a few.
    std::atomic<bool> reading{true};
    std::string lines;
    std::thread reader([&] {
      char buffer[8192];
      while (reading) {
        const ssize_t got = ::recv(receiver, buffer, sizeof buffer, 0);
        if (got > 0) lines.append("\n").append(buffer, static_cast<std::size_t>(got));
      }
    });
    const ProcessResult result = run_process(argv(), "version\nexit\n", options);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last datagrams in flight
    reading = false;
    reader.join();
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err.find("System log"), std::string::npos) << result.err;
    EXPECT_NE(lines.find(" vantorix["), std::string::npos) << lines;
    // The warning's datagram, at priority err.
    const std::size_t warning = lines.find("INI: Unknown key {bogus_key}");
    ASSERT_NE(warning, std::string::npos) << lines;
    EXPECT_EQ(lines.compare(lines.rfind('\n', warning), 5, "\n<19>"), 0) << lines;
    EXPECT_EQ(lines.find("\n<22>") != std::string::npos, logging) << "ordinary lines only with logging on";
  }
  ::close(receiver);
}

}  // namespace
}  // namespace vantorix::testing
