#include "userstore/user_table.h"

#include <gtest/gtest.h>

#include <string>

namespace vantorix {
namespace {

TEST(UserTable, NamesMatchExactlyAndPasswordsIgnoringLetterCase) {
  UserTable table;
  ASSERT_TRUE(table.store("alice", "Secret[1]"));
  EXPECT_EQ(table.find("alice"), "Secret[1]");
  EXPECT_EQ(table.find("Alice"), std::nullopt) << "names differing in case are different users";
  EXPECT_EQ(table.find("alic"), std::nullopt);
  EXPECT_EQ(user_table_lookup(table, "alice"), "Secret[1]");
  EXPECT_EQ(user_table_lookup(table, "bob"), std::nullopt);

  EXPECT_TRUE(passwords_match("Secret[1]", "sECRET[1]"));
  EXPECT_FALSE(passwords_match("Secret[1]", "Secret{1}")) << "'[' and '{' differ by the case bit but are no letters";
  EXPECT_FALSE(passwords_match("Secret[1]", "Secret[1"));
  EXPECT_FALSE(passwords_match("Secret[1]", ""));

  EXPECT_TRUE(table.store("", "blank")) << "the empty name is a user like any other";
  EXPECT_EQ(table.find(""), "blank");
  EXPECT_FALSE(table.store("alice", "new"));
  EXPECT_EQ(table.find("alice"), "new");
  EXPECT_EQ(table.size(), 2u);
}

TEST(UserTable, ManyUsersAreAllFoundThroughGrowthAndPasswordChanges) {
  constexpr int kUsers = 20000;
  // Not "u" + std::to_string(i): GCC 12 at -O3 warns falsely (-Wrestrict) about it.
  auto name = [](int i) { return std::string("u").append(std::to_string(i)); };
  auto password = [](int i, int round) {
    return std::string(static_cast<std::size_t>(i % 7 + round * 3), static_cast<char>('a' + i % 26));
  };
  UserTable table;
  for (int i = 0; i < kUsers; ++i) table.store(name(i), password(i, 1));
  // Longer, shorter and equal passwords replace the stored ones.
  for (int i = 0; i < kUsers; i += 2) table.store(name(i), password(i, i % 3));
  ASSERT_EQ(table.size(), static_cast<std::size_t>(kUsers));
  for (int i = 0; i < kUsers; ++i) {
    ASSERT_EQ(table.find(name(i)), password(i, i % 2 == 0 ? i % 3 : 1)) << name(i);
  }
  EXPECT_EQ(table.find("u20000"), std::nullopt);
}

}  // namespace
}  // namespace vantorix
