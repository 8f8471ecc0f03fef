// The configuration file as the real program reads it at start-up.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

using testing::in_directory;
using testing::run_process;
using testing::TempDir;
using testing::vantorix_binary;

constexpr const char* kVersionReply = "+OK Velkor's Vantorix Version External Authentication v2.4b\n+OK\n";

TEST(ConfigProcess, WithoutAnyFileReportsBothPlacesAndServesWithDefaults) {
  if (std::filesystem::exists("/etc/nothere.ini")) GTEST_SKIP() << "/etc/nothere.ini exists";
  TempDir work;
  auto result = run_process({vantorix_binary(), "-ini", work.file("nothere.exe")}, "version\nexit\n",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "-DEAD Unable to open(" + work.file("nothere.ini") + ") or (nothere.ini)\n" +
                            kVersionReply + "+OK\n");
  // Neither mode was on, yet errors are written whatever the modes.
  const std::string log = work.read("vantorix.log");
  EXPECT_NE(log.find("ERROR: Unable to open(" + work.file("nothere.ini") + ") or (nothere.ini)"), std::string::npos)
      << log;
  EXPECT_NE(log.find("ERROR: INI: Failed to load {nothere.ini}"), std::string::npos) << log;
  EXPECT_EQ(log.find("Contents of Start Up log buffer"), std::string::npos) << log;
}

TEST(ConfigProcess, LogKeysTakeEffectAndSecretsStayOutOfTheLog) {
  TempDir config;
  TempDir work;
  config.write("vantorix.ini",
               "# written by the test\r\n"
               "log true\r\n"
               "log_path " + config.file("vx.log") + "\r\n"
               "radius_secret topsecret\r\n"
               "INFO_PASS alsosecret\n"
               "domain example.org\n");
  auto result = run_process({vantorix_binary(), "-path", config.path()}, "version\nexit\n",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, std::string(kVersionReply) + "+OK\n");

  std::string log = config.read("vx.log");
  EXPECT_NE(log.find("INI: Loading {vantorix.ini}"), std::string::npos) << log;
  EXPECT_NE(log.find("INI:         Located {log} {true}"), std::string::npos) << log;
  EXPECT_NE(log.find("INI:         Located {domain} {example.org}"), std::string::npos) << log;
  EXPECT_NE(log.find("INI:         Located {radius_secret} {(hidden)}"), std::string::npos) << log;
  EXPECT_NE(log.find("INI:         Located {INFO_PASS} {(hidden)}"), std::string::npos) << log;
  EXPECT_EQ(log.find("topsecret"), std::string::npos);
  EXPECT_EQ(log.find("alsosecret"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(work.file("vantorix.log")));
}

TEST(ConfigProcess, FallsBackToTheCurrentDirectory) {
  if (std::filesystem::exists("/etc/vx-elsewhere.ini")) GTEST_SKIP() << "/etc/vx-elsewhere.ini exists";
  TempDir work;
  TempDir empty;
  // A later "log" line without "true" stops file logging again.
  work.write("vx-elsewhere.ini", "log true\nlog_path here.log\nlog no\nlog true\nlog_path there.log\n");
  auto result = run_process({vantorix_binary(), "-ini", empty.file("vx-elsewhere.conf")}, "exit\n",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "+OK\n");
  EXPECT_FALSE(std::filesystem::exists(work.file("here.log")));
  EXPECT_NE(work.read("there.log").find("INI: Loading {vx-elsewhere.ini}"), std::string::npos);
}

}  // namespace
}  // namespace vantorix
