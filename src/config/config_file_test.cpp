#include "config/config_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "config/core_settings.h"
#include "logging/log.h"
#include "platform/system.h"
#include "process_state.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

using KeyValues = std::vector<std::pair<std::string, std::string>>;
KeyValues backend_keys;

void record_backend_key(std::string_view key, std::string_view value) {
  backend_keys.emplace_back(key, value);
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_process_state();
    backend_keys.clear();
  }
  void TearDown() override { testing::reset_process_state(); }
  static void config_apply_line(std::string_view line) { vantorix::config_apply_line(line, targets()); }
  static bool config_load(const char* directory, const char* program) {
    return vantorix::config_load(directory, program, targets());
  }
  static ConfigTargets targets() { return {core_settings(), log_state(), record_backend_key}; }
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

  const CoreSettings& settings = core_settings();
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
  EXPECT_EQ(log_state().log_path, dir.file("x.log"));
  const KeyValues expected = {
      {"radius_host", "127.0.0.1"}, {"Radius_Secret", "a b  c"}, {"", "leading blank"}, {"lonely", ""}, {"", ""}};
  EXPECT_EQ(backend_keys, expected);
}

TEST_F(ConfigTest, LogKeysActInFileOrder) {
  log_state().log_mode = true;
  log_state().log_path = dir.file("vantorix.log");
  config_apply_line("log yes\n");
  EXPECT_FALSE(log_state().log_mode);
  EXPECT_FALSE(log_state().log_path.has_value());
  // The line itself is logged before it takes effect.
  EXPECT_NE(dir.read_text("vantorix.log").find("INI:         Located {log} {yes}"), std::string::npos);

  config_apply_line("LOG TRUE\n");
  EXPECT_TRUE(log_state().log_mode);
  EXPECT_FALSE(log_state().log_path.has_value());
  config_apply_line("log_path " + dir.file("a.log") + "\n");
  EXPECT_EQ(log_state().log_path, dir.file("a.log"));
  config_apply_line("log\n");
  EXPECT_FALSE(log_state().log_mode);
  EXPECT_FALSE(log_state().log_path.has_value());
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
    core_settings().dir_hash_chars = 4;
    config_apply_line(std::string("dir_hash ") + c.value + "\n");
    EXPECT_EQ(core_settings().dir_hash_base, c.base) << c.value;
    EXPECT_EQ(core_settings().dir_hash_chars, c.chars) << c.value;
    EXPECT_EQ(core_settings().dir_hash_depth, c.depth) << c.value;
  }
  config_apply_line("dir_hash 2 2 " + std::string(300, 'b'));
  EXPECT_EQ(core_settings().dir_hash_base, std::string(kMaxDirHashBase, 'b'));
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
    EXPECT_EQ(core_settings().filter_from, c.from) << c.line;
    EXPECT_EQ(core_settings().filter_to, c.to) << c.line;
  }
  config_apply_line("filter .,_");
  EXPECT_EQ(backend_keys, (KeyValues{{"filter", ".,_"}}));
}

TEST_F(ConfigTest, NumbersAndBooleans) {
  const std::pair<const char*, int> numbers[] = {
      {"abc", 0}, {"12x", 12}, {"-3", -3}, {"+7", 7}, {"", 0}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
  for (const auto& [value, number] : numbers) {
    config_apply_line(std::string("search_min ") + value);
    EXPECT_EQ(core_settings().search_min, number) << value;
  }
  const std::pair<const char*, bool> flags[] = {
      {"true", true}, {"TRUE  ", true}, {"True\r\n", true}, {"yes", false}, {"", false}, {"truex", false}};
  for (const auto& [value, flag] : flags) {
    config_apply_line(std::string("lowercase_username_set ") + value);
    EXPECT_EQ(core_settings().lowercase_username_set, flag) << value;
  }
}

TEST_F(ConfigTest, ReadsOverLongLinesInPieces) {
  dir.write("vantorix.ini", "domain " + std::string(5000, 'x') + "\nradius_port 1812\n");
  ASSERT_TRUE(config_load(dir.path().c_str(), "vantorix"));
  EXPECT_EQ(core_settings().default_domain, std::string(kMaxConfigLine - 7, 'x'));
  const KeyValues expected = {{std::string(5000 - (kMaxConfigLine - 7), 'x'), ""}, {"radius_port", "1812"}};
  EXPECT_EQ(backend_keys, expected);
}

}  // namespace
}  // namespace vantorix
