#include "platform/files.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "file_access.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

using testing::TempDir;

#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

TEST(OpenFile, RefusesAnythingButARegularFileWithoutBlocking) {
  TempDir dir;
  FileError error;
  for (OpenFile::Mode mode : {OpenFile::Mode::read, OpenFile::Mode::append}) {
    EXPECT_FALSE(OpenFile::open(dir.path(), mode, error).is_open());
    EXPECT_EQ(error.kind, FileErrorKind::not_regular);
    EXPECT_FALSE(OpenFile::open(kNullDevice, mode, error).is_open());
    EXPECT_EQ(error.kind, FileErrorKind::not_regular);
  }
  EXPECT_FALSE(OpenFile::open(dir.file("missing"), OpenFile::Mode::read, error).is_open());
  EXPECT_EQ(error.kind, FileErrorKind::missing);
  EXPECT_FALSE(is_transient(error.kind));
  EXPECT_EQ(file_status(dir.path())->regular, false);
  EXPECT_FALSE(append_private(dir.path(), "one\n")) << "a directory";
  EXPECT_FALSE(append_private(dir.file("missing/users.dat"), "one\n"));
#ifndef _WIN32
  // A FIFO without a writer would block an ordinary open for ever.
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  for (OpenFile::Mode mode : {OpenFile::Mode::read, OpenFile::Mode::append}) {
    EXPECT_FALSE(OpenFile::open(dir.file("fifo"), mode, error).is_open());
    EXPECT_EQ(error.kind, FileErrorKind::not_regular);
  }
  EXPECT_EQ(file_status(dir.file("fifo"))->regular, false);
#endif
}

TEST(FileStatus, TimeIsFromTheEpochAndIdentityFollowsTheFile) {
  TempDir dir;
  const std::string path = dir.file("users.dat");
  EXPECT_FALSE(file_status(path));
  ASSERT_TRUE(append_private(path, "one\n"));
  const std::optional<FileStatus> first = file_status(path);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size, 4);
  EXPECT_TRUE(first->regular);
  // Counted from 1970, whatever the system counts from.
  const auto now_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_LT(std::abs(now_ns - first->modified_ns), std::int64_t{120} * 1000000000) << first->modified_ns;

  ASSERT_TRUE(append_private(path, std::string(3000, 'x') + "\n"));
  EXPECT_EQ(dir.read("users.dat"), "one\n" + std::string(3000, 'x') + "\n");
  const std::optional<FileStatus> grown = file_status(path);
  ASSERT_TRUE(grown);
  EXPECT_EQ(grown->size, 3005);
  EXPECT_TRUE(same_file(*grown, *first));

  // Another file put in its place is told apart.
  dir.write("other", "other\n");
  const std::optional<FileStatus> other = file_status(dir.file("other"));
  ASSERT_TRUE(other);
  EXPECT_FALSE(same_file(*other, *first));
  ASSERT_TRUE(replace_file(dir.file("other"), path));
  const std::optional<FileStatus> replaced = file_status(path);
  ASSERT_TRUE(replaced);
  EXPECT_TRUE(same_file(*replaced, *other));
}

TEST(Files, NewFileIsForItsOwnerOnly) {
  TempDir dir;
  ASSERT_TRUE(append_private(dir.file("log"), "one\n"));
  EXPECT_TRUE(testing::owner_only(dir.file("log")));
  FileError error;
  ASSERT_TRUE(OpenFile::open(dir.file("users.dat"), OpenFile::Mode::append, error).is_open()) << error.reason;
  EXPECT_TRUE(testing::owner_only(dir.file("users.dat")));
}

TEST(OpenFile, ReadsAtOffsetsBeyondThirtyTwoBits) {
  TempDir dir;
  const std::string path = dir.file("big");
  dir.write("big", std::string(16, '\0') + "low");
  // 16 again when cut to 32 bits. Growing the file this way writes nothing
  // (the new part reads as zeros), so the test costs no disk space.
  constexpr std::int64_t kFar = (std::int64_t{1} << 32) + 16;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(kFar + 3));
  ASSERT_EQ(file_status(path)->size, kFar + 3);
  FileError error;
  const OpenFile file = OpenFile::open(path, OpenFile::Mode::read, error);
  ASSERT_TRUE(file.is_open()) << error.reason;
  char bytes[3] = {'?', '?', '?'};
  ASSERT_EQ(file.read_at(kFar, bytes, sizeof bytes, error), 3) << error.reason;
  EXPECT_EQ(std::string(bytes, 3), std::string(3, '\0')) << "an offset cut to 32 bits lands on \"low\"";
  ASSERT_EQ(file.read_at(16, bytes, sizeof bytes, error), 3);
  EXPECT_EQ(std::string(bytes, 3), "low");
}

TEST(OpenFile, AppendCreatesAPrivateFileAndReadsAtOffsets) {
  TempDir dir;
  const std::string path = dir.file("data");
  FileError error;
  {
    OpenFile file = OpenFile::open(path, OpenFile::Mode::append, error);
    ASSERT_TRUE(file.is_open()) << error.reason;
    ASSERT_TRUE(file.append("hello world", error));
    char out[8] = {};
    EXPECT_EQ(file.read_at(6, out, sizeof out, error), 5);
    EXPECT_EQ(std::string(out, 5), "world");
    EXPECT_EQ(file.read_at(11, out, sizeof out, error), 0);
    ASSERT_TRUE(file.truncate(5, error));
    EXPECT_EQ(file.status()->size, 5);
  }
  EXPECT_EQ(dir.read("data"), "hello");
}

TEST(OpenFile, LockIsExclusiveAndItsWaitBounded) {
  TempDir dir;
  const std::string path = dir.file("locked");
  dir.write("locked", "x");
  FileError error;
  OpenFile holder = OpenFile::open(path, OpenFile::Mode::read, error);
  ASSERT_TRUE(holder.lock(0, error));
  OpenFile other = OpenFile::open(path, OpenFile::Mode::append, error);
  ASSERT_TRUE(other.is_open());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(other.lock(50, error));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(error.kind, FileErrorKind::busy);
  EXPECT_TRUE(is_transient(error.kind));
  // The lock never keeps anyone from the file itself.
  EXPECT_TRUE(other.append("y", error));
  holder.close();
  EXPECT_TRUE(other.lock(0, error));
}

TEST(ReplaceFile, ReplacesTheTargetInOneStep) {
  TempDir dir;
  dir.write("new", "new");
  dir.write("old", "old");
  EXPECT_TRUE(replace_file(dir.file("new"), dir.file("old")));
  EXPECT_EQ(dir.read("old"), "new");
  EXPECT_FALSE(replace_file(dir.file("new"), dir.file("old")));
}

}  // namespace
}  // namespace vantorix
