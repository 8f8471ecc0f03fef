#include "platform/system.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/env.h"

namespace vantorix {
namespace {

TEST(RandomBytes, DrawsAreFreshAcrossPoolRefillsAndLargeRequests) {
  SystemEnv env;
  // 200 authenticators span several refills of the pool: none may repeat.
  std::set<std::array<std::uint8_t, 16>> seen;
  for (int i = 0; i < 200; ++i) {
    std::array<std::uint8_t, 16> draw{};
    ASSERT_TRUE(env.random(draw));
    EXPECT_TRUE(seen.insert(draw).second) << "repeated draw " << i;
  }
  // A request larger than the pool comes straight from the kernel.
  std::vector<std::uint8_t> large(5000, 0);
  ASSERT_TRUE(env.random(large));
  EXPECT_NE(std::count(large.begin(), large.end(), 0), 5000);
}

TEST(SystemDirectory, IsADirectoryThatExists) {
  const std::string directory = system_directory();
  ASSERT_FALSE(directory.empty());
  EXPECT_TRUE(std::filesystem::path(directory).is_absolute()) << directory;
  EXPECT_TRUE(std::filesystem::is_directory(directory)) << directory;
}

#ifndef _WIN32
// In a child process: a test process that cannot dump core cannot be debugged either.
TEST(ProcessProtection, CoreDumpsAreSwitchedOff) {
  pid_t pid = ::fork();
  if (pid == 0) {
    const struct rlimit unlimited {RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_CORE, &unlimited);
    if (!disable_core_dumps()) _exit(2);
    struct rlimit core {};
    ::getrlimit(RLIMIT_CORE, &core);
    _exit(core.rlim_cur == 0 && core.rlim_max == 0 && ::prctl(PR_GET_DUMPABLE) == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
}  // namespace vantorix
