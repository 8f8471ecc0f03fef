#include "userstore/user_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "temp_dir.h"
#include "userstore/scramble.h"
#include "userstore/user_table.h"

namespace vantorix {
namespace {

constexpr const char* kKey = "quietlyturnbrasskeysunderoldbridges";

std::string form(const std::string& password) { return password_scramble(kKey, password.c_str(), 1); }

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class UserFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ops() = BackendOps{};
    path_ = dir_.file("users.dat");
    backend_ops().user_file_name = path_;
    user_table_reset();
    user_file_state() = {};
    platform_hooks() = {};
    platform_hooks().sleep = [](int) {};
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

  std::optional<std::string> password_of(const std::string& name) {
    std::optional<std::string> holder;
    user_table_lookup(name.c_str(), nullptr, kUserFind, &holder);
    return holder;
  }
  std::string log() const { return dir_.read("test.log"); }
  std::size_t loads() const { return count_of(log(), "Finished Loading Userfile: {" + path_ + "}"); }
  void append_elsewhere(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out << text;
  }
  // Rewrites the file in place and moves its time on, as an editor saving a
  // second later would.
  void edit_in_place(const std::string& content) const {
    auto when = std::filesystem::last_write_time(path_);
    std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
    out << content;
    out.close();
    std::filesystem::last_write_time(path_, when + std::chrono::seconds(1));
  }

  testing::TempDir dir_;
  std::string path_;
};

TEST_F(UserFileTest, LineRules) {
  std::string long_name(520, 'n');
  dir_.write("users.dat",
             "# a comment " + form("not-a-user") + "\n"
             "\r\n"
             "\n"
             "alice " + form("first") + "\n"
             "bob " + form("crlf") + "\r\n"
             "alice " + form("second") + "\n"
             "carol \n"                     // name and one space: empty password
             "dave 6162 6364\n"             // three words: the form is "6162 6364"
             "nospace\n"
             " " + form("nameless") + "\n"  // empty name
             "erin " + form("Zz") + "\r\r\n" +
             long_name + " " + form("x") + "\n"  // cut at 511 bytes: the rest is a line of its own
             "frank " + form("last-line-without-end"));
  user_file_load();

  EXPECT_EQ(password_of("alice"), "second");
  EXPECT_EQ(password_of("bob"), "crlf");
  EXPECT_EQ(password_of("carol"), "");
  EXPECT_EQ(password_of("dave"), password_unscramble(kKey, "6162 6364", 1));
  EXPECT_EQ(password_of(""), "nameless");
  EXPECT_EQ(password_of("erin"), "Zz");
  EXPECT_EQ(password_of("frank"), "last-line-without-end");
  EXPECT_EQ(password_of("nospace"), std::nullopt);
  EXPECT_EQ(password_of("#"), std::nullopt);
  EXPECT_EQ(password_of(long_name), std::nullopt);
  EXPECT_EQ(password_of(std::string(9, 'n')), "x");
  EXPECT_EQ(user_table().size(), 8u);
}

TEST_F(UserFileTest, LoadsOnceAndAgainOnlyWhenTheFileChanges) {
  user_file_load();
  user_file_load();
  EXPECT_EQ(count_of(log(), "Failed to Load Userfile: {" + path_ + "}"), 2u);

  dir_.write("users.dat", "");
  user_file_load();
  user_file_load();
  EXPECT_EQ(count_of(log(), "Loading Userfile again: {" + path_ + "}"), 1u);
  EXPECT_EQ(loads(), 1u);

  dir_.write("users.dat", "ann " + form("abcd") + "\n");
  user_file_load();
  EXPECT_EQ(loads(), 2u);
  EXPECT_EQ(password_of("ann"), "abcd");

  edit_in_place("ann " + form("wxyz") + "\n");  // same length
  user_file_load();
  EXPECT_EQ(loads(), 3u);
  EXPECT_EQ(password_of("ann"), "wxyz");
  user_file_load();
  EXPECT_EQ(loads(), 3u);
}

TEST_F(UserFileTest, NoFileNameMeansNothingToLoad) {
  backend_ops().user_file_name.clear();
  user_file_load();
  EXPECT_EQ(log(), "");
  EXPECT_FALSE(user_file_append("x", "y"));
}

TEST_F(UserFileTest, OwnAppendsNeedNoReload) {
  dir_.write("users.dat", "ann " + form("a") + "\n");
  user_file_load();
  ASSERT_EQ(loads(), 1u);
  for (int i = 0; i < 20; ++i) {
    std::string name = "user" + std::to_string(i);
    ASSERT_EQ(user_table_lookup(name.c_str(), "pw", kUserFindOrAppend, nullptr), -1);
    user_file_load();
  }
  EXPECT_EQ(loads(), 1u);
  EXPECT_EQ(count_of(dir_.read("users.dat"), "\n"), 21u);

  // A fresh process sees the same users.
  user_table_reset();
  user_file_state() = {};
  user_file_load();
  EXPECT_EQ(user_table().size(), 21u);
  EXPECT_EQ(password_of("user19"), "pw");
}

TEST_F(UserFileTest, GrowthFromElsewhereIsReadFromTheOldEnd) {
  dir_.write("users.dat", "ann " + form("file") + "\n");
  user_file_load();
  // Only a full read would put the file's password back.
  user_table_lookup("ann", "memory", kUserStoreMemory, nullptr);

  append_elsewhere("ben " + form("b") + "\n");
  user_file_load();
  EXPECT_EQ(loads(), 2u);
  EXPECT_EQ(password_of("ben"), "b");
  EXPECT_EQ(password_of("ann"), "memory");

  // A line that was still being written when the last load ended is read again whole.
  append_elsewhere("cat " + form("partial-and-complete").substr(0, 10));
  user_file_load();
  append_elsewhere(form("partial-and-complete").substr(10) + "\n");
  user_file_load();
  EXPECT_EQ(password_of("cat"), "partial-and-complete");
  EXPECT_EQ(password_of("ann"), "memory");
}

TEST_F(UserFileTest, ReplacedShortenedOrRewrittenFilesAreReadWhole) {
  const std::string ann = "ann " + form("file") + "\n";
  dir_.write("users.dat", ann + "ben " + form("b") + "\n");
  user_file_load();

  user_table_lookup("ann", "memory", kUserStoreMemory, nullptr);
  dir_.write("users.dat", ann);  // shorter
  user_file_load();
  EXPECT_EQ(password_of("ann"), "file");
  EXPECT_EQ(password_of("ben"), "b");  // a load never forgets anyone

  user_table_lookup("ann", "memory", kUserStoreMemory, nullptr);
  std::filesystem::remove(path_);
  dir_.write("users.dat", "# replaced\n" + ann);  // another file, longer
  user_file_load();
  EXPECT_EQ(password_of("ann"), "file");

  user_table_lookup("ann", "memory", kUserStoreMemory, nullptr);
  std::string text = dir_.read("users.dat");
  text.back() = ' ';  // the old end itself changes
  dir_.write("users.dat", text + "\ndee " + form("d") + "\n");
  user_file_load();
  EXPECT_EQ(password_of("ann"), "file");
  EXPECT_EQ(password_of("dee"), "d");
}

TEST_F(UserFileTest, AppendAfterALineWithoutEndStartsANewLine) {
  dir_.write("users.dat", "ann " + form("a"));
  ASSERT_TRUE(user_file_append("bob", "b"));
  EXPECT_EQ(dir_.read("users.dat"), "ann " + form("a") + "\nbob " + form("b") + "\n");

  // The same when the table knows the file's end.
  dir_.write("users.dat", "cy " + form("c"));
  user_file_load();
  ASSERT_TRUE(user_file_append("dee", "d"));
  user_file_load();
  user_table_reset();
  user_file_state() = {};
  user_file_load();
  EXPECT_EQ(password_of("cy"), "c");
  EXPECT_EQ(password_of("dee"), "d");
}

TEST_F(UserFileTest, RecordsThatWouldNotReadBackAreNotWritten) {
  EXPECT_FALSE(user_file_append("two words", "pw"));
  EXPECT_FALSE(user_file_append("line\nbreak", "pw"));
  // The loader skips lines beginning with '#' as comments.
  EXPECT_FALSE(user_file_append("#hash", "pw"));
  EXPECT_TRUE(user_file_append("mid#hash", "pw"));
  // Bytes the scrambling cannot carry: the password would read back wrong.
  EXPECT_FALSE(user_file_append("utf8", "caf\xc3\xa9"));
  EXPECT_FALSE(user_file_append("del", "a\x7f"));
  EXPECT_NE(log().find("ERROR: Password of {utf8} cannot be stored"), std::string::npos);
  // name + space + 2n + 2 digits: 511 characters still fit one line, 512 do not.
  std::string password(200, 'p');
  std::string fits(511 - 1 - 402, 'f');
  std::string too_long(fits.size() + 1, 't');
  EXPECT_TRUE(user_file_append(fits.c_str(), password.c_str()));
  EXPECT_FALSE(user_file_append(too_long.c_str(), password.c_str()));
  EXPECT_NE(log().find("ERROR: Record of {" + too_long + "} is too long"), std::string::npos);

  user_file_load();
  EXPECT_EQ(password_of(fits), password);
  EXPECT_EQ(password_of("mid#hash"), "pw");
  EXPECT_EQ(user_table().size(), 2u);
}

}  // namespace
}  // namespace vantorix
