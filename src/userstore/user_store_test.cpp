#include "userstore/user_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_access.h"
#include "logging/log.h"
#include "platform/platform_state.h"
#include "process_state.h"
#include "temp_dir.h"
#include "userstore/scramble.h"

namespace vantorix {
namespace {

class UserStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_process_state();
    store_.settings.file_name = dir_.file("users.dat");
    platform_hooks().sleep = [this](int ms) { pauses_.push_back(ms); };
    log_state().log_mode = true;
    log_state().log_path = dir_.file("test.log");
  }
  void TearDown() override { testing::reset_process_state(); }

  std::string log() const { return dir_.read_text("test.log"); }
  std::string file() const { return dir_.read("users.dat"); }
  static std::string record(const std::string& name, const std::string& password) {
    return name + " " + *password_scramble("quietlyturnbrasskeysunderoldbridges", password.c_str(), 1) + "\n";
  }

  testing::TempDir dir_;
  UserStore store_;
  std::vector<int> pauses_;
};

TEST_F(UserStoreTest, NewUserIsAddedAndAppendedOnce) {
  EXPECT_EQ(user_store_remember(store_, "bob", "hunter2"), Remembered::added);
  EXPECT_EQ(file(), record("bob", "hunter2"));
  EXPECT_NE(log().find("Added user to memory and file: {bob}"), std::string::npos);

  // Accepting the same password again, in any letter case, changes nothing.
  EXPECT_EQ(user_store_remember(store_, "bob", "HUNTER2"), Remembered::unchanged);
  EXPECT_EQ(store_.table.find("bob"), "hunter2");
  EXPECT_EQ(file(), record("bob", "hunter2"));
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(UserStoreTest, NewFileIsForItsOwnerOnly) {
  EXPECT_EQ(user_store_remember(store_, "bob", "hunter2"), Remembered::added);
  EXPECT_TRUE(testing::owner_only(store_.settings.file_name));
}

TEST_F(UserStoreTest, ChangedPasswordReplacesTheRememberedOneHereAndInTheFile) {
  ASSERT_EQ(user_store_remember(store_, "carol", "old-pass"), Remembered::added);
  EXPECT_EQ(user_store_remember(store_, "carol", "new-pass"), Remembered::password_changed);
  EXPECT_NE(log().find("Updated password in memory and file: {carol}"), std::string::npos);
  EXPECT_EQ(file(), record("carol", "old-pass") + record("carol", "new-pass"));
  EXPECT_EQ(store_.table.find("carol"), "new-pass");

  // A fresh process reading the file remembers the new password too.
  UserStore fresh;
  fresh.settings = store_.settings;
  user_file_load(fresh.settings, fresh.file, fresh.table);
  EXPECT_EQ(fresh.table.find("carol"), "new-pass");
}

TEST_F(UserStoreTest, UnwritableFileKeepsTheUserInMemoryAfterThreePauses) {
  store_.settings.file_name = dir_.file("missing-dir/users.dat");
  EXPECT_EQ(user_store_remember(store_, "frank", "pw"), Remembered::memory_only);
  EXPECT_EQ(pauses_, (std::vector<int>{2000, 2000, 2000}));
  EXPECT_EQ(store_.table.find("frank"), "pw");
  EXPECT_NE(log().find("Failed to append to Userfile: {" + store_.settings.file_name + "}"), std::string::npos);

  // A record the file cannot carry is refused at once, without pauses.
  pauses_.clear();
  store_.settings.file_name = dir_.file("users.dat");
  EXPECT_EQ(user_store_remember(store_, "two words", "pw"), Remembered::memory_only);
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(store_.table.find("two words"), "pw");
}

TEST_F(UserStoreTest, PasswordsBeyond511CharactersAreKeptNowhere) {
  const std::string longest(kMaxScrambledPassword, 'p');
  const std::string too_long(kMaxScrambledPassword + 1, 'p');
  EXPECT_EQ(user_store_remember(store_, "gina", too_long), Remembered::not_kept);
  EXPECT_EQ(store_.table.find("gina"), std::nullopt);
  EXPECT_NE(log().find("ERROR: Password of {gina} is longer than 511 characters"), std::string::npos);

  // The longest password fits the table, not a line of the file.
  EXPECT_EQ(user_store_remember(store_, "gina", longest), Remembered::memory_only);
  EXPECT_EQ(user_store_remember(store_, "gina", too_long), Remembered::not_kept);
  EXPECT_EQ(store_.table.find("gina"), longest);
  EXPECT_EQ(file(), "");
}

}  // namespace
}  // namespace vantorix
