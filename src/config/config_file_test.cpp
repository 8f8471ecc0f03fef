#include "config/config_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/system.h"
#include "temp_dir.h"
#include "text/text_helpers.h"

namespace vantorix {
namespace {

using KeyValues = std::vector<std::pair<std::string, std::string>>;
KeyValues backend_keys;

// Records every key handed on; knows the RADIUS backend's keys.
bool record_backend_key(std::string_view key, std::string_view value) {
  backend_keys.emplace_back(key, value);
  for (const char* known : {"radius_host", "radius_port", "radius_secret", "radius_user_file", "radius_attribute"}) {
    if (equals_nocase(key, known)) return true;
  }
  return false;
}

class ConfigTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  void SetUp() override { backend_keys.clear(); }
  void config_apply_line(std::string_view line) { vantorix::config_apply_line(line, targets()); }
  bool config_load(const char* directory, const char* program) {
    return vantorix::config_load(directory, program, targets()).has_value();
  }
  ConfigTargets targets() { return {settings_, log_, record_backend_key}; }
  CoreSettings settings_;
  testing::TempDir dir;
};

struct PathCase {
  const char* directory;
  const char* program;
  const char* file_name;
  const char* first;
};

TEST(ConfigPaths, NamesTheFileAfterTheProgram) {
  const PathCase cases[] = {
      {nullptr, "/opt/vx/vantorix", "vantorix.ini", "/opt/vx/vantorix.ini"},
      {nullptr, "./vantorix", "vantorix.ini", "./vantorix.ini"},
      {nullptr, "vantorix", "vantorix.ini", "vantorix.ini"},
      {nullptr, "C:\\mail\\auth.exe", "auth.ini", "C:\\mail\\auth.ini"},
      {nullptr, "C:\\my.dir\\auth.exe", "auth.ini", "C:\\my.dir\\auth.ini"},
      {nullptr, "/x/other.conf", "other.ini", "/x/other.ini"},
      {nullptr, "mixed/dir\\prog.v2.exe", "prog.ini", "mixed/dir\\prog.ini"},
      {nullptr, "/x/.hidden", ".ini", "/x/.ini"},
      {nullptr, nullptr, ".ini", ".ini"},
      // A directory is joined to the name with the platform's separator ('|' here).
      {"/etc/vx", "/usr/bin/vantorix", "vantorix.ini", "/etc/vx|vantorix.ini"},
      {"D:\\cfg", "C:\\mail\\auth.exe", "auth.ini", "D:\\cfg|auth.ini"},
  };
  for (const auto& c : cases) {
    ConfigPaths paths = config_paths(c.directory, c.program);
    std::string first = c.first;
    std::replace(first.begin(), first.end(), '|', path_separator());
    EXPECT_EQ(paths.file_name, c.file_name) << (c.program ? c.program : "(null)");
    EXPECT_EQ(paths.first, first) << (c.program ? c.program : "(null)");
    // "/etc/vantorix.ini" on POSIX systems, "C:\Windows\system32\vantorix.ini" on Windows.
    EXPECT_EQ(paths.system, system_directory() + path_separator() + paths.file_name);
  }
}

TEST(ConfigPaths, CutsOverLongNamesAndPaths) {
  std::string long_dir(600, 'd');
  std::string long_name(600, 'n');
  ConfigPaths paths = config_paths(nullptr, ("/" + long_dir + "/vantorix").c_str());
  EXPECT_EQ(paths.first, ("/" + long_dir).substr(0, kMaxConfigPath));
  EXPECT_EQ(paths.file_name, "vantorix.ini");

  paths = config_paths(long_dir.c_str(), long_name.c_str());
  EXPECT_EQ(paths.file_name, long_name.substr(0, kMaxConfigPath));
  EXPECT_EQ(paths.first.size(), kMaxConfigPath);
  EXPECT_EQ(paths.system.size(), kMaxConfigPath);
}

TEST_F(ConfigTest, AppliesCoreKeysAndHandsTheRestToTheBackendInFileOrder) {
  dir.write("vantorix.ini",
            "# a comment\r\n"
            "\r\n"
            "radius_host 127.0.0.1\r\n"
            "DOMAIN first.example\n"
            "domain \t example.org  \t\r\n"
            "Info_Pass open sesame\n"
            "lowercase_username TRUE\n"
            "lowercase_username_set yes\n"
            "search_min 3x\n"
            "filtername .,_\n"
            "dir_hash 3 2 /var/mail\n"
            "fwd_not_null 1\n"
            "plain_password true\n"
            "realuser x\n"
            "unix_password true\n"
            "log_path " + dir.file("x.log") + "\n"
            "Radius_Secret a b  c\n"
            "info_pass\n"
            " leading blank\n"
            "lonely\n"
            " \n");
  EXPECT_TRUE(config_load(dir.path().c_str(), "/usr/bin/vantorix"));

  const CoreSettings& settings = settings_;
  EXPECT_EQ(settings.default_domain, "example.org");
  EXPECT_EQ(settings.info_pass, "");  // the later line, without a value
  EXPECT_TRUE(settings.lowercase_username);
  EXPECT_FALSE(settings.lowercase_username_set);
  EXPECT_EQ(settings.search_min, 3);
  EXPECT_EQ(settings.filter_from, '.');
  EXPECT_EQ(settings.filter_to, '_');
  EXPECT_EQ(settings.dir_hash_base, "/var/mail");
  EXPECT_EQ(settings.dir_hash_chars, 3);
  EXPECT_EQ(settings.dir_hash_depth, 2);
  EXPECT_EQ(log_.state().log_path, dir.file("x.log"));
  const KeyValues expected = {
      {"radius_host", "127.0.0.1"}, {"Radius_Secret", "a b  c"}, {"", "leading blank"}, {"lonely", ""}, {"", ""}};
  EXPECT_EQ(backend_keys, expected);
}

TEST_F(ConfigTest, LogKeysActInFileOrder) {
  log_.state().log_mode = true;
  log_.state().log_path = dir.file("vantorix.log");
  config_apply_line("log yes\n");
  EXPECT_FALSE(log_.state().log_mode);
  EXPECT_FALSE(log_.state().log_path.has_value());
  // The line itself is logged before it takes effect.
  EXPECT_NE(dir.read_text("vantorix.log").find("INI:         Located {log} {yes}"), std::string::npos);

  config_apply_line("LOG TRUE\n");
  EXPECT_TRUE(log_.state().log_mode);
  EXPECT_FALSE(log_.state().log_path.has_value());
  config_apply_line("log_path " + dir.file("a.log") + "\n");
  EXPECT_EQ(log_.state().log_path, dir.file("a.log"));
  config_apply_line("log\n");
  EXPECT_FALSE(log_.state().log_mode);
  EXPECT_FALSE(log_.state().log_path.has_value());
}

struct DirHashCase {
  const char* value;
  const char* base;
  int chars;
  int depth;
};

TEST_F(ConfigTest, DirHashTakesSingleDigitsFollowedByOneBlank) {
  const DirHashCase cases[] = {
      {"3 2 D:\\mail", "D:\\mail", 3, 2}, {"9 0 x", "x", 5, 1},
      {"D:\\mail", "D:\\mail", 1, 1},     {"12 D:\\mail", "12 D:\\mail", 1, 1},
      {"4 /m", "/m", 4, 1},               {"3\t2 x", "3\t2 x", 1, 1},
      {"2  x", " x", 2, 1},               {"", "", 1, 1},
  };
  for (const auto& c : cases) {
    settings_.dir_hash_chars = 4;
    config_apply_line(std::string("dir_hash ") + c.value + "\n");
    EXPECT_EQ(settings_.dir_hash_base, c.base) << c.value;
    EXPECT_EQ(settings_.dir_hash_chars, c.chars) << c.value;
    EXPECT_EQ(settings_.dir_hash_depth, c.depth) << c.value;
  }
  config_apply_line("dir_hash 2 2 " + std::string(300, 'b'));
  EXPECT_EQ(settings_.dir_hash_base, std::string(kMaxDirHashBase, 'b'));
}

struct FilterCase {
  const char* line;
  char from;
  char to;
};

TEST_F(ConfigTest, FilternameSetsThePairOrReportsAMissingComma) {
  const FilterCase cases[] = {
      {"filtername .,_", '.', '_'},     {"filtername .,", '.', ' '},
      {"FilterNames -,+xyz", '-', '+'}, {"filtername ,x", '\0', 'x'},
      {"filtername ab,c", 'a', 'c'},    {"filtername nocomma", 'a', 'c'},  // unchanged
  };
  for (const auto& c : cases) {
    config_apply_line(c.line);
    EXPECT_EQ(settings_.filter_from, c.from) << c.line;
    EXPECT_EQ(settings_.filter_to, c.to) << c.line;
  }
  config_apply_line("filter .,_");
  EXPECT_EQ(backend_keys, (KeyValues{{"filter", ".,_"}}));
}

TEST_F(ConfigTest, NumbersAndBooleans) {
  const std::pair<const char*, int> numbers[] = {
      {"abc", 0}, {"12x", 12}, {"-3", -3}, {"+7", 7}, {"", 0}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
  for (const auto& [value, number] : numbers) {
    config_apply_line(std::string("search_min ") + value);
    EXPECT_EQ(settings_.search_min, number) << value;
  }
  const std::pair<const char*, bool> flags[] = {
      {"true", true}, {"TRUE  ", true}, {"True\r\n", true}, {"yes", false}, {"", false}, {"truex", false}};
  for (const auto& [value, flag] : flags) {
    config_apply_line(std::string("lowercase_username_set ") + value);
    EXPECT_EQ(settings_.lowercase_username_set, flag) << value;
  }
}

TEST_F(ConfigTest, ReadsOverLongLinesInPieces) {
  dir.write("vantorix.ini", "domain " + std::string(5000, 'x') + "\nradius_port 1812\n");
  ASSERT_TRUE(config_load(dir.path().c_str(), "vantorix"));
  EXPECT_EQ(settings_.default_domain, std::string(kMaxConfigLine - 7, 'x'));
  const KeyValues expected = {{std::string(5000 - (kMaxConfigLine - 7), 'x'), ""}, {"radius_port", "1812"}};
  EXPECT_EQ(backend_keys, expected);
}

class ConfigLogTest : public ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    log_.state().log_mode = true;
    log_.state().log_path = dir.file("vantorix.log");
  }
  std::string log() const { return dir.read("vantorix.log"); }
  bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }
};

TEST_F(ConfigLogTest, NoSecretReachesTheLogInAnySpelling) {
  const char* lines[] = {
      "radius_secret Secret-A",        "RADIUS_SECRET Secret-B",   "radius_secret=Secret-C",
      "Radius_Secret\tSecret-D x",     "radius_secretive Secret-E", "info_pass Secret-F",
      "INFO_PASS=Secret-G",            "info_passwd Secret-H",     "radius_secert Secret-I",
      "radius_secert=Secret-J",        "radius_sceret:Secret-K",   " Secret-L",
      "domain_name Secret-M",          "radius_host 127.0.0.1",    "domain example.org",
  };
  for (const char* line : lines) config_apply_line(line);
  const std::string text = log();
  EXPECT_EQ(text.find("Secret-"), std::string::npos) << text;

  // Known keys show their values; a secret shows its name only.
  EXPECT_TRUE(logged("Located {radius_host} {127.0.0.1}"));
  EXPECT_TRUE(logged("Located {domain} {example.org}"));
  EXPECT_TRUE(logged("Located {radius_secret} {(hidden)}"));
  EXPECT_TRUE(logged("Located {RADIUS_SECRET} {(hidden)}"));
  EXPECT_TRUE(logged("Located {INFO_PASS(hidden)} {(hidden)}"));
  // Unknown keys: the leading word, the value hidden, and a warning.
  EXPECT_TRUE(logged("Located {radius_secret(hidden)} {(hidden)}"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {radius_secret(hidden)} is ignored: check its spelling"));
  EXPECT_TRUE(logged("Located {radius_secert} {(hidden)}"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {radius_secert} is ignored"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {radius_sceret(hidden)} is ignored"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {} is ignored"));
  EXPECT_TRUE(logged("ERROR: INI: Unknown key {domain_name} is ignored"));
  EXPECT_FALSE(logged("Unknown key {radius_host}"));
  EXPECT_FALSE(logged("Unknown key {domain}"));
  // The secrets themselves were applied as before.
  EXPECT_EQ(settings_.info_pass, "Secret-F");
  EXPECT_EQ(backend_keys.front(), (std::pair<std::string, std::string>{"radius_secret", "Secret-A"}));
}

TEST_F(ConfigLogTest, WarningsNameWhatToFix) {
  config_apply_line("log false");
  log_.state().log_path = dir.file("vantorix.log");
  config_apply_line("LOG TRUE");
  EXPECT_FALSE(logged("ERROR"));
  config_apply_line("log yes");
  EXPECT_TRUE(logged("ERROR: INI: log {yes} is neither true nor false: logging is off"));

#ifndef _WIN32  // where a file's access list is not read, nobody else may read it
  // The file holds the secret: others may not read it.
  log_.state().log_path = dir.file("vantorix.log");
  dir.write("vantorix.ini", "domain x\n");
  std::filesystem::permissions(dir.file("vantorix.ini"), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write);
  ASSERT_TRUE(config_load(dir.path().c_str(), "vantorix"));
  EXPECT_FALSE(logged("other accounts"));
  std::filesystem::permissions(dir.file("vantorix.ini"), std::filesystem::perms::group_read,
                               std::filesystem::perm_options::add);
  ASSERT_TRUE(config_load(dir.path().c_str(), "vantorix"));
  EXPECT_TRUE(logged("ERROR: INI: {" + dir.file("vantorix.ini") +
                     "} can be read or written by other accounts, and it holds the RADIUS secret"));
#endif
}

}  // namespace
}  // namespace vantorix
