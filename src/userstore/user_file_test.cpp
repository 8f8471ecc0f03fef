#include "userstore/user_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "fake_env.h"
#include "logging/log.h"
#include "platform/console.h"
#include "temp_dir.h"
#include "userstore/scramble.h"
#include "userstore/user_store.h"

namespace vantorix {
namespace {

constexpr const char* kKey = "quietlyturnbrasskeysunderoldbridges";

std::string form(const std::string& password) { return *password_scramble(kKey, password.c_str(), 1); }

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class UserFileTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  void SetUp() override {
    path_ = dir_.file("users.dat");
    store().settings.file_name = path_;
    log_.state().log_mode = true;
    log_.state().log_path = dir_.file("test.log");
  }

  UserStore& store() { return store_; }
  void load() { user_file_load(log_, store().settings, store().file, store().table); }
  bool append(std::string_view name, std::string_view password) {
    return user_file_append(log_, store().settings, store().file, store().table, env_, name, password) ==
           AppendResult::written;
  }
  // A fresh process's view: the table and the loader's state forgotten, the file read again.
  void reload_from_scratch() {
    store().table = {};
    store().file = {};
    load();
  }
  std::optional<std::string> password_of(const std::string& name) { return user_table_lookup(store().table, name); }
  std::string log() const { return dir_.read_text("test.log"); }
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

  UserStore store_;
  testing::FakeEnv env_;  // the pauses between attempts take no time
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
  load();

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
  EXPECT_EQ(store().table.size(), 8u);
}

TEST_F(UserFileTest, LoadsOnceAndAgainOnlyWhenTheFileChanges) {
  load();
  load();
  EXPECT_EQ(count_of(log(), "Failed to Load Userfile: {" + path_ + "}"), 2u);

  dir_.write("users.dat", "");
  load();
  load();
  EXPECT_EQ(count_of(log(), "Loading Userfile again: {" + path_ + "}"), 1u);
  EXPECT_EQ(loads(), 1u);

  dir_.write("users.dat", "ann " + form("abcd") + "\n");
  load();
  EXPECT_EQ(loads(), 2u);
  EXPECT_EQ(password_of("ann"), "abcd");

  edit_in_place("ann " + form("wxyz") + "\n");  // same length
  load();
  EXPECT_EQ(loads(), 3u);
  EXPECT_EQ(password_of("ann"), "wxyz");
  load();
  EXPECT_EQ(loads(), 3u);
}

TEST_F(UserFileTest, NoFileNameMeansNothingToLoad) {
  store().settings.file_name.clear();
  load();
  EXPECT_EQ(log(), "");
  EXPECT_EQ(user_file_append(log_, store().settings, store().file, store().table, env_, "x", "y"),
            AppendResult::failed);
}

TEST_F(UserFileTest, OwnAppendsNeedNoReload) {
  dir_.write("users.dat", "ann " + form("a") + "\n");
  load();
  ASSERT_EQ(loads(), 1u);
  for (int i = 0; i < 20; ++i) {
    std::string name = "user" + std::to_string(i);
    ASSERT_EQ(user_store_remember(log_, store(), env_, name, "pw"), Remembered::added);
    load();
  }
  EXPECT_EQ(loads(), 1u);
  EXPECT_EQ(count_of(dir_.read("users.dat"), "\n"), 21u);

  // A fresh process sees the same users.
  reload_from_scratch();
  EXPECT_EQ(store().table.size(), 21u);
  EXPECT_EQ(password_of("user19"), "pw");
}

// The file stays open between appends; records follow the file at the path
// when it is moved away, removed or replaced.
TEST_F(UserFileTest, HeldFileFollowsThePath) {
  load();
  ASSERT_TRUE(append("ann", "a"));
  std::filesystem::rename(path_, dir_.file("users.old"));
  load();
  ASSERT_TRUE(append("bob", "b"));
  EXPECT_EQ(dir_.read("users.old"), "ann " + form("a") + "\n");
  EXPECT_EQ(dir_.read("users.dat"), "bob " + form("b") + "\n");

  dir_.write("users.new", "cy " + form("c") + "\n");
  std::filesystem::rename(dir_.file("users.new"), path_);
  load();
  ASSERT_TRUE(append("dee", "d"));
  EXPECT_EQ(dir_.read("users.dat"), "cy " + form("c") + "\ndee " + form("d") + "\n");

  // Without a load in between, the append looks at the path itself.
  std::filesystem::remove(path_);
  ASSERT_TRUE(append("eve", "e"));
  EXPECT_EQ(dir_.read("users.dat"), "eve " + form("e") + "\n");
}

TEST_F(UserFileTest, GrowthFromElsewhereIsReadFromTheOldEnd) {
  dir_.write("users.dat", "ann " + form("file") + "\n");
  load();
  // Only a full read would put the file's password back.
  store().table.store("ann", "memory");

  append_elsewhere("ben " + form("b") + "\n");
  load();
  EXPECT_EQ(loads(), 2u);
  EXPECT_EQ(password_of("ben"), "b");
  EXPECT_EQ(password_of("ann"), "memory");

  // A line that was still being written when the last load ended is read again whole.
  append_elsewhere("cat " + form("partial-and-complete").substr(0, 10));
  load();
  append_elsewhere(form("partial-and-complete").substr(10) + "\n");
  load();
  EXPECT_EQ(password_of("cat"), "partial-and-complete");
  EXPECT_EQ(password_of("ann"), "memory");
}

TEST_F(UserFileTest, ReplacedShortenedOrRewrittenFilesAreReadWhole) {
  const std::string ann = "ann " + form("file") + "\n";
  dir_.write("users.dat", ann + "ben " + form("b") + "\n");
  load();

  store().table.store("ann", "memory");
  dir_.write("users.dat", ann);  // shorter
  load();
  EXPECT_EQ(password_of("ann"), "file");
  EXPECT_EQ(password_of("ben"), "b");  // a load never forgets anyone

  store().table.store("ann", "memory");
  std::filesystem::remove(path_);
  dir_.write("users.dat", "# replaced\n" + ann);  // another file, longer
  load();
  EXPECT_EQ(password_of("ann"), "file");

  store().table.store("ann", "memory");
  std::string text = dir_.read("users.dat");
  text.back() = ' ';  // the old end itself changes
  dir_.write("users.dat", text + "\ndee " + form("d") + "\n");
  load();
  EXPECT_EQ(password_of("ann"), "file");
  EXPECT_EQ(password_of("dee"), "d");
}

TEST_F(UserFileTest, AppendAfterALineWithoutEndStartsANewLine) {
  dir_.write("users.dat", "ann " + form("a"));
  ASSERT_TRUE(append("bob", "b"));
  EXPECT_EQ(dir_.read("users.dat"), "ann " + form("a") + "\nbob " + form("b") + "\n");

  // The same when the table knows the file's end.
  dir_.write("users.dat", "cy " + form("c"));
  load();
  ASSERT_TRUE(append("dee", "d"));
  load();
  reload_from_scratch();
  EXPECT_EQ(password_of("cy"), "c");
  EXPECT_EQ(password_of("dee"), "d");
}

TEST_F(UserFileTest, RecordsThatWouldNotReadBackAreNotWritten) {
  EXPECT_FALSE(append("two words", "pw"));
  EXPECT_FALSE(append("line\nbreak", "pw"));
  // The loader skips lines beginning with '#' as comments.
  EXPECT_FALSE(append("#hash", "pw"));
  EXPECT_TRUE(append("mid#hash", "pw"));
  // Bytes the scrambling cannot carry: the password would read back wrong.
  EXPECT_FALSE(append("utf8", "caf\xc3\xa9"));
  EXPECT_FALSE(append("del", "a\x7f"));
  EXPECT_NE(log().find("ERROR: Password of {utf8} cannot be stored"), std::string::npos);
  // name + space + 2n + 2 digits: 511 characters still fit one line, 512 do not.
  std::string password(200, 'p');
  std::string fits(511 - 1 - 402, 'f');
  std::string too_long(fits.size() + 1, 't');
  EXPECT_TRUE(append(fits, password.c_str()));
  EXPECT_FALSE(append(too_long, password.c_str()));
  EXPECT_NE(log().find("ERROR: Record of {" + too_long + "} is too long"), std::string::npos);

  load();
  EXPECT_EQ(password_of(fits), password);
  EXPECT_EQ(password_of("mid#hash"), "pw");
  EXPECT_EQ(store().table.size(), 2u);
}

}  // namespace
}  // namespace vantorix
