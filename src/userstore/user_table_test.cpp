#include "userstore/user_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "platform/system.h"
#include "temp_dir.h"
#include "userstore/scramble.h"
#include "userstore/user_file.h"

namespace vantorix {
namespace {

class UserTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ops() = BackendOps{};
    backend_ops().user_file_name = dir_.file("users.dat");
    user_table_reset();
    user_file_state() = {};
    platform_hooks() = {};
    platform_hooks().sleep = [this](int ms) { pauses_.push_back(ms); };
    log_state() = LogState{};
    log_state().log_mode = true;
    log_state().log_path = dir_.file("test.log");
  }
  void TearDown() override {
    platform_hooks() = {};
    log_state() = LogState{};
    backend_ops() = BackendOps{};
    user_table_reset();
    user_file_state() = {};
  }

  std::string log() const { return dir_.read("test.log"); }
  std::string file() const { return dir_.read("users.dat"); }
  static std::string record(const std::string& name, const std::string& password) {
    return name + " " + password_scramble("quietlyturnbrasskeysunderoldbridges", password.c_str(), 1) + "\n";
  }

  testing::TempDir dir_;
  std::vector<int> pauses_;
  std::optional<std::string> holder_;
};

TEST_F(UserTableTest, FindMatchesNamesExactlyAndPasswordsIgnoringLetterCase) {
  ASSERT_EQ(user_table_lookup("alice", "Secret[1]", kUserStoreMemory, nullptr), -1);
  struct Case {
    const char* name;
    const char* password;
    int result;
    std::optional<std::string> holder;
  };
  const Case cases[] = {
      {"alice", nullptr, 1, "Secret[1]"},
      {"alice", "Secret[1]", 1, "Secret[1]"},
      {"alice", "sECRET[1]", 1, "Secret[1]"},
      {"alice", "Secret{1}", 0, "Secret[1]"},  // '[' and '{' differ by the case bit but are no letters
      {"alice", "Secret[1", 0, "Secret[1]"},
      {"alice", "", 0, "Secret[1]"},
      {"Alice", nullptr, 0, std::nullopt},  // names differing in case are different users
      {"alic", nullptr, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    holder_ = "stale";
    EXPECT_EQ(user_table_lookup(c.name, c.password, kUserFind, &holder_), c.result) << c.name;
    EXPECT_EQ(holder_, c.holder) << c.name << " / " << (c.password ? c.password : "(null)");
  }
  EXPECT_EQ(user_table_lookup(nullptr, "x", kUserFind, &holder_), 0);
  EXPECT_EQ(user_table().size(), 1u);
  EXPECT_EQ(file(), "");
}

TEST_F(UserTableTest, AcceptedNewUserIsAddedAndAppendedOnce) {
  EXPECT_EQ(user_table_lookup("bob", "hunter2", kUserFindOrAppend, &holder_), -1);
  EXPECT_EQ(holder_, "hunter2");
  EXPECT_EQ(file(), record("bob", "hunter2"));
  EXPECT_NE(log().find("Added user to memory and file: {bob}"), std::string::npos);

  struct stat st {};
  ASSERT_EQ(::stat(backend_ops().user_file_name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Accepting the same password again, in any letter case, changes nothing.
  EXPECT_EQ(user_table_lookup("bob", "HUNTER2", kUserFindOrAppend, &holder_), 1);
  EXPECT_EQ(holder_, "hunter2");
  EXPECT_EQ(user_table_lookup("bob", nullptr, kUserFindOrAppend, nullptr), 1);
  EXPECT_EQ(file(), record("bob", "hunter2"));
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(UserTableTest, AcceptedChangedPasswordReplacesTheRememberedOne) {
  ASSERT_EQ(user_table_lookup("carol", "old-pass", kUserFindOrAppend, nullptr), -1);
  EXPECT_EQ(user_table_lookup("carol", "new-pass", kUserFindOrAppend, &holder_), -1);
  EXPECT_EQ(holder_, "new-pass");
  EXPECT_NE(log().find("Updated password in memory and file: {carol}"), std::string::npos);
  EXPECT_EQ(file(), record("carol", "old-pass") + record("carol", "new-pass"));

  EXPECT_EQ(user_table_lookup("carol", nullptr, kUserFind, &holder_), 1);
  EXPECT_EQ(holder_, "new-pass");

  // A fresh process reading the file remembers the new password too.
  user_table_reset();
  user_file_state() = {};
  user_file_load();
  EXPECT_EQ(user_table_lookup("carol", "new-pass", kUserFind, nullptr), 1);
}

TEST_F(UserTableTest, FindNeverChangesAWrongPassword) {
  ASSERT_EQ(user_table_lookup("dave", "right", kUserStoreMemory, nullptr), -1);
  EXPECT_EQ(user_table_lookup("dave", "wrong", kUserFind, &holder_), 0);
  EXPECT_EQ(user_table_lookup("dave", "right", kUserFind, nullptr), 1);
  EXPECT_EQ(user_table_lookup("erin", "any", kUserFind, &holder_), 0);
  EXPECT_EQ(holder_, std::nullopt);
  EXPECT_EQ(user_table_lookup("erin", nullptr, kUserFindOrAppend, &holder_), 0);
  EXPECT_EQ(user_table().find("erin"), std::nullopt);
}

TEST_F(UserTableTest, MemoryStoreLogsOnlyWithAHolderAndNeverWritesTheFile) {
  EXPECT_EQ(user_table_lookup("quiet", "one", kUserStoreMemory, nullptr), -1);
  EXPECT_EQ(user_table_lookup("quiet", "two", kUserStoreMemory, nullptr), -1);
  EXPECT_EQ(log(), "");

  EXPECT_EQ(user_table_lookup("loud", "one", kUserStoreMemory, &holder_), -1);
  EXPECT_EQ(holder_, "one");
  EXPECT_EQ(user_table_lookup("loud", "two", kUserStoreMemory, &holder_), -1);
  EXPECT_EQ(holder_, std::nullopt);
  EXPECT_EQ(user_table_lookup("loud", nullptr, kUserStoreMemory, &holder_), 0);

  std::string text = log();
  auto locating = text.find("Locating 'loud' in memory.");
  auto added = text.find("Added user to memory only: {loud}");
  auto updated = text.find("Updated password in memory: {loud}");
  ASSERT_NE(locating, std::string::npos);
  ASSERT_NE(added, std::string::npos);
  ASSERT_NE(updated, std::string::npos);
  EXPECT_LT(locating, added);
  EXPECT_LT(added, updated);
  EXPECT_EQ(file(), "");

  EXPECT_EQ(user_table_lookup("quiet", "TWO", kUserFind, nullptr), 1);
  EXPECT_EQ(user_table_lookup("loud", "two", kUserFind, nullptr), 1);
}

TEST_F(UserTableTest, EmptyNameIsAUserLikeAnyOther) {
  EXPECT_EQ(user_table_lookup("", "blank", kUserFindOrAppend, nullptr), -1);
  EXPECT_EQ(user_table_lookup("", nullptr, kUserFind, &holder_), 1);
  EXPECT_EQ(holder_, "blank");
  EXPECT_EQ(file(), record("", "blank"));
}

TEST_F(UserTableTest, UnwritableFileKeepsTheUserInMemoryAfterThreePauses) {
  backend_ops().user_file_name = dir_.file("missing-dir/users.dat");
  EXPECT_EQ(user_table_lookup("frank", "pw", kUserFindOrAppend, &holder_), -1);
  EXPECT_EQ(pauses_, (std::vector<int>{2000, 2000, 2000}));
  EXPECT_EQ(user_table_lookup("frank", "pw", kUserFind, nullptr), 1);
}

TEST_F(UserTableTest, PasswordsBeyond511CharactersAreRefused) {
  std::string longest(kMaxScrambledPassword, 'p');
  std::string too_long(kMaxScrambledPassword + 1, 'p');
  EXPECT_EQ(user_table_lookup("gina", too_long.c_str(), kUserFindOrAppend, &holder_), 0);
  EXPECT_EQ(user_table_lookup("gina", too_long.c_str(), kUserStoreMemory, nullptr), 0);
  EXPECT_EQ(user_table().find("gina"), std::nullopt);
  EXPECT_NE(log().find("ERROR: Password of {gina} is longer than 511 characters"), std::string::npos);

  EXPECT_EQ(user_table_lookup("gina", longest.c_str(), kUserStoreMemory, nullptr), -1);
  EXPECT_EQ(user_table_lookup("gina", too_long.c_str(), kUserFindOrAppend, &holder_), 0);
  EXPECT_EQ(holder_, longest);
  EXPECT_EQ(user_table_lookup("gina", longest.c_str(), kUserFind, nullptr), 1);
  EXPECT_EQ(file(), "");
}

TEST_F(UserTableTest, ManyUsersAreAllFoundThroughGrowthAndPasswordChanges) {
  constexpr int kUsers = 20000;
  auto name = [](int i) { return "u" + std::to_string(i); };
  auto password = [](int i, int round) { return std::string(static_cast<std::size_t>(i % 7 + round * 3), 'a' + i % 26); };
  for (int i = 0; i < kUsers; ++i) user_table_lookup(name(i).c_str(), password(i, 1).c_str(), kUserStoreMemory, nullptr);
  // Longer, shorter and equal passwords replace the stored ones.
  for (int i = 0; i < kUsers; i += 2) {
    user_table_lookup(name(i).c_str(), password(i, i % 3).c_str(), kUserStoreMemory, nullptr);
  }
  ASSERT_EQ(user_table().size(), static_cast<std::size_t>(kUsers));
  for (int i = 0; i < kUsers; ++i) {
    ASSERT_EQ(user_table_lookup(name(i).c_str(), nullptr, kUserFind, &holder_), 1) << name(i);
    ASSERT_EQ(holder_, password(i, i % 2 == 0 ? i % 3 : 1)) << name(i);
  }
  EXPECT_EQ(user_table_lookup("u20000", nullptr, kUserFind, nullptr), 0);
}

TEST_F(UserTableTest, ResetAndReleaseForgetEveryone) {
  user_table_lookup("a", "1", kUserStoreMemory, nullptr);
  user_table_lookup("b", "2", kUserStoreMemory, nullptr);
  user_table_release();
  EXPECT_EQ(user_table_lookup("a", nullptr, kUserFind, nullptr), 0);
  user_table_lookup("c", "3", kUserStoreMemory, nullptr);
  user_table_reset();
  EXPECT_EQ(user_table().size(), 0u);
}

}  // namespace
}  // namespace vantorix
