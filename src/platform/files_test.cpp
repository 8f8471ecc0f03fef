#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "temp_dir.h"

namespace vantorix {
namespace {

using testing::TempDir;

TEST(OpenFile, RefusesAnythingButARegularFileWithoutBlocking) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  FileError error;
  // A FIFO without a writer would block an ordinary open for ever.
  for (OpenFile::Mode mode : {OpenFile::Mode::read, OpenFile::Mode::append}) {
    EXPECT_FALSE(OpenFile::open(dir.file("fifo"), mode, error).is_open());
    EXPECT_EQ(error.kind, FileErrorKind::not_regular);
    EXPECT_FALSE(OpenFile::open(dir.path(), mode, error).is_open());
    EXPECT_EQ(error.kind, FileErrorKind::not_regular);
    EXPECT_FALSE(OpenFile::open("/dev/null", mode, error).is_open());
    EXPECT_EQ(error.kind, FileErrorKind::not_regular);
  }
  EXPECT_FALSE(OpenFile::open(dir.file("missing"), OpenFile::Mode::read, error).is_open());
  EXPECT_EQ(error.kind, FileErrorKind::missing);
  EXPECT_FALSE(is_transient(error.kind));
  EXPECT_EQ(file_status(dir.file("fifo"))->regular, false);
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
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
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
