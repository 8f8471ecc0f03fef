#include "userstore/user_store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "fake_env.h"
#include "file_access.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/files.h"
#include "temp_dir.h"
#include "userstore/scramble.h"

namespace vantorix {
namespace {

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class UserStoreTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  void SetUp() override {
    store_.settings.file_name = dir_.file("users.dat");
    log_.state().log_mode = true;
    log_.state().log_path = dir_.file("test.log");
  }

  std::string log() const { return dir_.read_text("test.log"); }
  std::string file() const { return dir_.read("users.dat"); }
  static std::string record(const std::string& name, const std::string& password) {
    return name + " " + *password_scramble("quietlyturnbrasskeysunderoldbridges", password.c_str(), 1) + "\n";
  }

  testing::TempDir dir_;
  UserStore store_;
  testing::FakeEnv env_;
  // Milliseconds paused between attempts to append.
  std::int64_t paused() { return env_.now_ms() - testing::FakeEnv::kStartMs; }
};

TEST_F(UserStoreTest, NewUserIsAddedAndAppendedOnce) {
  EXPECT_EQ(user_store_remember(log_, store_, env_, "bob", "hunter2"), Remembered::added);
  EXPECT_EQ(file(), record("bob", "hunter2"));
  EXPECT_NE(log().find("Added user to memory and file: {bob}"), std::string::npos);

  // Accepting the same password again, in any letter case, changes nothing.
  EXPECT_EQ(user_store_remember(log_, store_, env_, "bob", "HUNTER2"), Remembered::unchanged);
  EXPECT_EQ(store_.table.find("bob"), "hunter2");
  EXPECT_EQ(file(), record("bob", "hunter2"));
  EXPECT_EQ(paused(), 0);
}

TEST_F(UserStoreTest, NewFileIsForItsOwnerOnly) {
  EXPECT_EQ(user_store_remember(log_, store_, env_, "bob", "hunter2"), Remembered::added);
  EXPECT_TRUE(testing::owner_only(store_.settings.file_name));
}

TEST_F(UserStoreTest, ChangedPasswordReplacesTheRememberedOneHereAndInTheFile) {
  ASSERT_EQ(user_store_remember(log_, store_, env_, "carol", "old-pass"), Remembered::added);
  EXPECT_EQ(user_store_remember(log_, store_, env_, "carol", "new-pass"), Remembered::password_changed);
  EXPECT_NE(log().find("Updated password in memory and file: {carol}"), std::string::npos);
  EXPECT_EQ(file(), record("carol", "old-pass") + record("carol", "new-pass"));
  EXPECT_EQ(store_.table.find("carol"), "new-pass");

  // A fresh process reading the file remembers the new password too.
  UserStore fresh;
  fresh.settings = store_.settings;
  user_file_load(log_, fresh.settings, fresh.file, fresh.table);
  EXPECT_EQ(fresh.table.find("carol"), "new-pass");
}

TEST_F(UserStoreTest, FileThatCannotBeWrittenFailsAtOnceAndSaysWhyOnce) {
  store_.settings.file_name = dir_.file("missing-dir/users.dat");
  EXPECT_EQ(user_store_remember(log_, store_, env_, "frank", "pw"), Remembered::memory_only);
  EXPECT_EQ(user_store_remember(log_, store_, env_, "gail", "pw"), Remembered::memory_only);
  // No pause can make the directory appear.
  EXPECT_EQ(paused(), 0);
  EXPECT_EQ(store_.table.find("frank"), "pw");
  EXPECT_EQ(store_.table.find("gail"), "pw");
  const std::string path = store_.settings.file_name;
  EXPECT_EQ(count_of(log(), "ERROR: Userfile {" + path + "} cannot be used: "), 1u);
#ifndef _WIN32
  EXPECT_EQ(count_of(log(), "} cannot be used: No such file or directory;"), 1u) << "with the system's reason";
#endif
  EXPECT_EQ(count_of(log(), "Failed to append to Userfile: {" + path + "}"), 2u);

  // A record the file cannot carry is refused at once, without pauses.
  store_.settings.file_name = dir_.file("users.dat");
  EXPECT_EQ(user_store_remember(log_, store_, env_, "two words", "pw"), Remembered::memory_only);
  EXPECT_EQ(paused(), 0);
  EXPECT_EQ(store_.table.find("two words"), "pw");
}

TEST_F(UserStoreTest, FileLockedElsewhereIsTriedThreeTimesWithPauses) {
  dir_.write("users.dat", "");
  FileError error;
  OpenFile other = OpenFile::open(store_.settings.file_name, OpenFile::Mode::read, error);
  ASSERT_TRUE(other.lock(0, error));
  store_.settings.lock_wait_ms = 10;
  EXPECT_EQ(user_store_remember(log_, store_, env_, "hal", "pw"), Remembered::memory_only);
  EXPECT_EQ(paused(), 3 * 2000);
  EXPECT_EQ(count_of(log(), "cannot be used: Locked by another process;"), 1u);
  other.close();
  EXPECT_EQ(user_store_remember(log_, store_, env_, "hal", "pw"), Remembered::unchanged);
  EXPECT_EQ(user_store_remember(log_, store_, env_, "ida", "pw"), Remembered::added);
  EXPECT_EQ(file(), record("ida", "pw"));
}

TEST_F(UserStoreTest, UserJustAppendedByAnotherProcessIsNotAppendedAgain) {
  ASSERT_EQ(user_store_remember(log_, store_, env_, "jo", "first"), Remembered::added);
  // Another helper accepted the same users a moment ago and wrote them.
  std::ofstream(store_.settings.file_name, std::ios::app | std::ios::binary) << record("kim", "pw") << record("jo", "second");
  EXPECT_EQ(user_store_remember(log_, store_, env_, "jo", "second"), Remembered::found_in_file);
  EXPECT_NE(log().find("User was added to the file by another process: {jo}"), std::string::npos);
  // Reading the file under its lock taught the table the other user as well.
  EXPECT_EQ(user_store_remember(log_, store_, env_, "kim", "pw"), Remembered::unchanged);
  EXPECT_EQ(file(), record("jo", "first") + record("kim", "pw") + record("jo", "second"));
  // A password the other process did not write is appended as usual.
  EXPECT_EQ(user_store_remember(log_, store_, env_, "kim", "new"), Remembered::password_changed);
  EXPECT_EQ(file(), record("jo", "first") + record("kim", "pw") + record("jo", "second") + record("kim", "new"));
}

TEST_F(UserStoreTest, PasswordsBeyond511CharactersAreKeptNowhere) {
  const std::string longest(kMaxScrambledPassword, 'p');
  const std::string too_long(kMaxScrambledPassword + 1, 'p');
  EXPECT_EQ(user_store_remember(log_, store_, env_, "gina", too_long), Remembered::not_kept);
  EXPECT_EQ(store_.table.find("gina"), std::nullopt);
  EXPECT_NE(log().find("ERROR: Password of {gina} is longer than 511 characters"), std::string::npos);

  // The longest password fits the table, not a line of the file.
  EXPECT_EQ(user_store_remember(log_, store_, env_, "gina", longest), Remembered::memory_only);
  EXPECT_EQ(user_store_remember(log_, store_, env_, "gina", too_long), Remembered::not_kept);
  EXPECT_EQ(store_.table.find("gina"), longest);
  EXPECT_EQ(file(), "");
}

}  // namespace
}  // namespace vantorix
