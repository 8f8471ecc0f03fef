#include "platform/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include "file_access.h"
#include "platform/platform_state.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

TEST(RandomBytes, DrawsAreFreshAcrossPoolRefillsAndLargeRequests) {
  platform_hooks() = {};
  // 200 authenticators span several refills of the pool: none may repeat.
  std::set<std::array<std::uint8_t, 16>> seen;
  for (int i = 0; i < 200; ++i) {
    std::array<std::uint8_t, 16> draw{};
    ASSERT_TRUE(random_bytes(draw));
    EXPECT_TRUE(seen.insert(draw).second) << "repeated draw " << i;
  }
  // A request larger than the pool comes straight from the kernel.
  std::vector<std::uint8_t> large(5000, 0);
  ASSERT_TRUE(random_bytes(large));
  EXPECT_NE(std::count(large.begin(), large.end(), 0), 5000);
}

TEST(RandomBytes, HookReplacesTheSource) {
  platform_hooks().random = [](std::span<std::uint8_t> out) {
    for (auto& b : out) b = 7;
    return true;
  };
  std::array<std::uint8_t, 4> draw{};
  ASSERT_TRUE(random_bytes(draw));
  EXPECT_EQ(draw, (std::array<std::uint8_t, 4>{7, 7, 7, 7}));
  platform_hooks() = {};
}

TEST(SystemDirectory, IsADirectoryThatExists) {
  const std::string directory = system_directory();
  ASSERT_FALSE(directory.empty());
  EXPECT_TRUE(std::filesystem::path(directory).is_absolute()) << directory;
  EXPECT_TRUE(std::filesystem::is_directory(directory)) << directory;
}

TEST(Files, AppendsWholeRecordsAndStatusFollowsTheFile) {
  testing::TempDir dir;
  const std::string path = dir.file("users.dat");
  EXPECT_FALSE(file_status(path));
  ASSERT_TRUE(append_private(path, "one\n"));
  const std::optional<FileStatus> first = file_status(path);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size, 4);
  // The time is counted from 1970, whatever the system counts from.
  const auto now_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_LT(std::abs(now_ns - first->modified_ns), std::int64_t{120} * 1000000000) << first->modified_ns;

  ASSERT_TRUE(append_private(path, std::string(3000, 'x') + "\n"));
  EXPECT_EQ(dir.read("users.dat"), "one\n" + std::string(3000, 'x') + "\n");
  const std::optional<FileStatus> grown = file_status(path);
  ASSERT_TRUE(grown);
  EXPECT_EQ(grown->size, 3005);
  EXPECT_EQ(grown->device, first->device);
  EXPECT_EQ(grown->inode, first->inode) << "the same file";

  // Another file put in its place is told apart.
  dir.write("other", "other\n");
  const std::optional<FileStatus> other = file_status(dir.file("other"));
  ASSERT_TRUE(other);
  EXPECT_NE(other->inode, first->inode);
  std::filesystem::rename(dir.file("other"), path);
  const std::optional<FileStatus> replaced = file_status(path);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->inode, other->inode);
  EXPECT_EQ(replaced->device, other->device);

  EXPECT_FALSE(append_private(dir.file("missing/users.dat"), "one\n"));
  EXPECT_FALSE(append_private(dir.path(), "one\n")) << "a directory";
}

TEST(Files, NewFileIsForItsOwnerOnly) {
  testing::TempDir dir;
  ASSERT_TRUE(append_private(dir.file("users.dat"), "one\n"));
  EXPECT_TRUE(testing::owner_only(dir.file("users.dat")));
}

TEST(Files, SeekReachesOffsetsBeyondThirtyTwoBits) {
  testing::TempDir dir;
  const std::string path = dir.file("big");
  dir.write("big", std::string(16, '\0') + "low");
  // 16 again when cut to 32 bits. Growing the file this way writes nothing
  // (the new part reads as zeros), so the test costs no disk space.
  constexpr std::int64_t kFar = (std::int64_t{1} << 32) + 16;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(kFar + 3));
  const std::optional<FileStatus> status = file_status(path);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->size, kFar + 3);

  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  char bytes[4] = {};
  ASSERT_TRUE(file_seek(file, kFar));
  EXPECT_EQ(std::fread(bytes, 1, 3, file), 3u);
  EXPECT_EQ(std::string(bytes, 3), std::string(3, '\0')) << "a seek cut to 32 bits lands on \"low\"";
  ASSERT_TRUE(file_seek(file, 16));
  EXPECT_EQ(std::fread(bytes, 1, 3, file), 3u);
  EXPECT_EQ(std::string(bytes, 3), "low");
  std::fclose(file);
}

}  // namespace
}  // namespace vantorix
