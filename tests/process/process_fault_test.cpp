// The program's own process: a parent that stops reading its answers, and a
// crash that must not leave the secret and the passwords in a core file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <string>

#include "fake_radius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

constexpr const char* kSecret = "process-secret";

class ProcessFaultTest : public ::testing::Test {
 protected:
  void write_config(std::uint16_t port) {
    dir_.write("vantorix.ini", "radius_host 127.0.0.1\n"
                               "radius_port " + std::to_string(port) + "\n"
                               "radius_secret " + std::string(kSecret) + "\n"
                               "radius_user_file " + dir_.file("users.dat") + "\n"
                               "log true\n"
                               "log_path " + dir_.file("vantorix.log") + "\n");
  }
  ProcessResult run(const std::string& input, ProcessOptions options) {
    options.working_directory = dir_.path();
    options.timeout = std::chrono::seconds(30);
    ProcessResult result = run_process({vantorix_binary(), "-path", dir_.path()}, input, options);
    EXPECT_FALSE(result.timed_out);
    return result;
  }
  std::string log() const { return dir_.read("vantorix.log"); }

  TempDir dir_;
};

TEST_F(ProcessFaultTest, ClosedStandardOutputEndsTheReadLoop) {
  FakeRadiusServer server(kSecret);
  ASSERT_TRUE(server.ready());
  write_config(server.port());
  std::string input;
  for (int i = 0; i < 20; ++i) input += "check user" + std::to_string(i) + " pw\n";

  // A parent that ignores SIGPIPE, as mail servers do: the answer of the
  // first check meets the closed pipe, and no further request is sent.
  ProcessOptions options;
  options.close_output = true;
  options.ignored_signals = {SIGPIPE};
  ProcessResult result = run(input, options);
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(server.requests().size(), 1u);
  const std::string text = log();
  EXPECT_NE(text.find("Standard output is closed: nobody reads the answers"), std::string::npos) << text;
  EXPECT_NE(text.find("***Exiting***"), std::string::npos);
  EXPECT_NE(text.find("Closing down RADIUS connection."), std::string::npos);

  // With SIGPIPE at its default the program still ends by itself, not by the signal.
  options.ignored_signals.clear();
  result = run(input, options);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(ProcessFaultTest, CrashLeavesNoCoreFile) {
  // The process holds the secret and the passwords of users in clear when it
  // dies; its parent allowed core files of any size. SIGQUIT dumps core by
  // default, and sanitizers leave it alone.
  std::atomic<int> child{0};
  FakeRadiusServer server(kSecret, [&](const RadiusRequest&, const FakeRadiusServer&) {
    if (child.load() > 0) ::kill(child.load(), SIGQUIT);
    return std::vector<FakeDatagram>{};
  });
  ASSERT_TRUE(server.ready());
  write_config(server.port());
  ProcessOptions options;
  options.limits = {{RLIMIT_CORE, RLIM_INFINITY}};
  options.on_start = [&](int pid) { child = pid; };
  const ProcessResult result = run("check alice hunter2\n", options);
  EXPECT_EQ(result.signal, SIGQUIT);
  EXPECT_FALSE(result.core_dumped);
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("core", 0), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace vantorix::testing
