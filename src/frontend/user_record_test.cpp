#include "frontend/user_record.h"

#include <gtest/gtest.h>

#include <string>

#include "config/core_settings.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"
#include "platform/console.h"

namespace vantorix {
namespace {

class UserRecordTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  ReplyWriter writer_{console_, log_};
  void SetUp() override { console_.capture(&out_); }

  void hash(const std::string& base, int chars, int depth) {
    settings_.dir_hash_base = base;
    settings_.dir_hash_chars = chars;
    settings_.dir_hash_depth = depth;
  }

  std::string show(UserRecord record, const char* typed = "typed", const char* status = "+OK") {
    out_.clear();
    display_user(writer_, record, status, typed, settings_);
    EXPECT_FALSE(record.user_name || record.directory || record.extra);
    return out_;
  }

  CoreSettings settings_;

  static UserRecord named(const char* name, const char* directory = nullptr) {
    UserRecord record;
    record.user_name = name;
    if (directory != nullptr) record.directory = directory;
    return record;
  }

  std::string out_;
};

TEST_F(UserRecordTest, DirectoryComesFromDirHashSettings) {
  const struct {
    const char* base;
    int chars;
    int depth;
    const char* user;
    const char* directory;
    const char* path;
  } cases[] = {
      {"/mail", 2, 2, "jdoe@x", nullptr, "/mail/jd/oe/jdoe@x"},
      {"/mail", 2, 2, "ab", nullptr, "/mail/ab/__/ab"},
      {"/mail/", 1, 1, "ab", nullptr, "/mail/a/ab"},
      {"D:\\mail\\", 1, 1, "ab", nullptr, "D:\\mail\\a/ab"},
      {"/m", 1, 3, "a@b@c", "config", "/m/a/@/b/a@b@c"},
      {"/m", 5, 5, "x", nullptr, "/m/x____/_____/_____/_____/_____/x"},
      {"", 2, 2, "jdoe", nullptr, "config"},
      {"", 2, 2, "jdoe", "config", "config"},
      {"/mail", 2, 2, "jdoe", "/var/mail/joe", "/var/mail/joe"},
      {"/mail", 2, 2, "jdoe", "Config", "Config"},
  };
  for (const auto& c : cases) {
    hash(c.base, c.chars, c.depth);
    EXPECT_EQ(show(named(c.user, c.directory)), std::string("+OK typed ") + c.path + " 0\n") << c.user;
  }
}

TEST_F(UserRecordTest, LineCarriesNumberExtraAndDefaults) {
  hash("/mail", 2, 2);
  UserRecord record = named("jdoe@x");
  record.extra = "Class=gold Filter-Id=web";
  record.number = -1;
  EXPECT_EQ(show(record, "JDoe"), "+OK JDoe /mail/jd/oe/jdoe@x -1 Class=gold Filter-Id=web\n");
  EXPECT_EQ(show(named("jdoe@x"), nullptr, nullptr), "-ERR unknown /mail/jd/oe/jdoe@x 0\n");
}

TEST_F(UserRecordTest, LongNamesAndBasesAreCutAtTheWorkArea) {
  hash(std::string(250, 'b'), 1, 2);
  const std::string name(400, 'n');
  const std::string line = show(named(name.c_str()));
  const std::string expected_path = std::string(250, 'b') + "/n/n/" ;
  EXPECT_EQ(line, "+OK typed " + expected_path.substr(0, 255) + " 0\n");

  hash("/m", 1, 1);
  const std::string long_user = std::string(300, 'u') + "@x";
  const std::string path = "/m/u/" + long_user;
  EXPECT_EQ(show(named(long_user.c_str())), "+OK typed " + path.substr(0, 255) + " 0\n");
}

TEST_F(UserRecordTest, LineIsCutLikeEveryFormattedReply) {
  // A typed name of 5000 characters: the four fields stop at 4094 characters,
  // the line feed still follows.
  const std::string typed(5000, 't');
  const std::string line = show(named("u"), typed.c_str());
  EXPECT_EQ(line, "+OK " + typed.substr(0, 4090) + "\n");
}

TEST_F(UserRecordTest, RecordWithoutUserNameStillShowsALine) {
  hash("/m", 2, 1);
  EXPECT_EQ(show(UserRecord{}), "+OK typed /m/__/ 0\n");
}

TEST_F(UserRecordTest, FreeReleasesTextsAndKeepsIntegers) {
  UserRecord record = named("a", "/d");
  record.password = "pw";
  record.reserved_2 = record.reserved_3 = record.reserved_4 = record.reserved_5 = "r";
  record.extra = "e";
  record.reserved_1 = 4;
  record.number = 9;
  free_user_record(&record);
  EXPECT_FALSE(record.user_name || record.password || record.reserved_2 || record.directory || record.reserved_3 ||
               record.reserved_4 || record.reserved_5 || record.extra);
  EXPECT_EQ(record.reserved_1, 4);
  EXPECT_EQ(record.number, 9);
  free_user_record(nullptr);
}

}  // namespace
}  // namespace vantorix
