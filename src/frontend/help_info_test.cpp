#include "frontend/help_info.h"

#include <gtest/gtest.h>

#include <string>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/dispatcher.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"
#include "platform/console.h"

namespace vantorix {
namespace {

class HelpInfoTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  ReplyWriter writer_{console_, log_};
  void SetUp() override { console_.capture(&out_); }

  std::string reply(std::string_view line) {
    out_.clear();
    dispatch_command(ops_, settings_, writer_, line);
    return out_;
  }

  BackendOps ops_;
  CoreSettings settings_;
  std::string out_;
};

SlotResult int_slot(CommandWords&) { return kSlotSuccess; }
int search_slot(CommandWords&) { return 1; }
RecordResult record_slot(CommandWords&) { return RecordResult::none(); }

TEST_F(HelpInfoTest, HelpListsOnlyFilledSlots) {
  ops_.help = [](CommandWords&) { return std::vector<std::string>{}; };
  EXPECT_EQ(reply("help\n"), "+DATA Valid commands\n+OK\n");

  ops_.check = record_slot;
  ops_.lookup = record_slot;
  ops_.exit = int_slot;
  EXPECT_EQ(reply("help\n"),
            "+DATA Valid commands\n"
            "+DATA     check <username> <password> [fromIPaddress]\n"
            "+DATA     lookup <username>\n"
            "+DATA     exit\n"
            "+OK\n");
  EXPECT_EQ(reply("check a b\n"), "-ERR a password wrong or not a valid user\n");
}

TEST_F(HelpInfoTest, HelpListsExtendedCommandsWhenAnyIsFilled) {
  ops_.help = [](CommandWords&) { return std::vector<std::string>{}; };
  ops_.mod = int_slot;
  EXPECT_EQ(reply("help\n"),
            "+DATA Valid commands\n"
            "+DATA\n"
            "+DATA Supported Extended Commands\n"
            "+DATA     mod <username> [var=\"val\" ...]\n"
            "+OK\n");
  ops_.set = int_slot;
  ops_.search = search_slot;
  ops_.del = int_slot;
  ops_.exit = int_slot;
  EXPECT_EQ(reply("help\n"),
            "+DATA Valid commands\n"
            "+DATA     exit\n"
            "+DATA\n"
            "+DATA Supported Extended Commands\n"
            "+DATA     set <username> [<password>|(NULL) [var=\"val\" ...]]\n"
            "+DATA     mod <username> [var=\"val\" ...]\n"
            "+DATA     search <string> [-from x] [-max y]\n"
            "+DATA     del <username>\n"
            "+OK\n");
}

TEST_F(HelpInfoTest, InfoShowsSettingsOnlyForTheRightPassword) {
  const std::string banner = "+DATA External Authentication v2.4b (Vantorix)\n";
  EXPECT_EQ(reply("info\n"), banner + "+OK\n");
  EXPECT_EQ(reply("info secret\n"), banner + "+OK\n");  // no password configured
  settings_.info_pass = "Secret";
  EXPECT_EQ(reply("info\n"), banner + "+OK\n");
  EXPECT_EQ(reply("info secret\n"), banner + "+OK\n");  // letter case matters
  log_.state().log_path = "vantorix.log";
  EXPECT_EQ(reply("info Secret\n"), banner +
                                        "+DATA\n"
                                        "+DATA       Domain = (NULL)\n"
                                        "+DATA     Log Path = vantorix.log\n"
                                        "+OK\n");
  settings_.default_domain = "example.org";
  log_.state().log_path.reset();
  EXPECT_EQ(reply("info Secret\n"), banner +
                                        "+DATA\n"
                                        "+DATA       Domain = example.org\n"
                                        "+DATA     Log Path = (NULL)\n"
                                        "+OK\n");
}

TEST_F(HelpInfoTest, InfoMarksDebugMode) {
  settings_.info_pass = "pw";
  log_.state().debug_mode = true;
  CommandWords words = split_command_line("info pw");
  EXPECT_TRUE(show_info(writer_, words, settings_, log_.state(), ops_));
  EXPECT_NE(out_.find("+DATA (DEBUG MODE)\n"), std::string::npos);
}

TEST_F(HelpInfoTest, FilterReplacesOnlyWhenBothCharactersAreSet) {
  const struct {
    char from;
    char to;
    const char* name;
    const char* result;
  } cases[] = {
      {'.', '_', "j.doe.x", "j_doe_x"},
      {'.', ' ', "j.doe", "j doe"},
      {'%', '@', "j.doe", "j.doe"},
      {'.', 0, "j.doe", "j.doe"},
      {0, '_', "j.doe", "j.doe"},
  };
  for (const auto& c : cases) {
    settings_.filter_from = c.from;
    settings_.filter_to = c.to;
    std::string name = c.name;
    filter_user_name(log_, name, settings_);
    EXPECT_EQ(name, c.result) << c.name << " " << c.from << c.to;
  }
}

TEST_F(HelpInfoTest, FilterLogsBeforeAndAfter) {
  log_.state().debug_mode = true;  // log lines echo on standard output
  settings_.filter_from = '%';
  settings_.filter_to = '@';
  std::string name = "j.doe";
  filter_user_name(log_, name, settings_);
  EXPECT_NE(out_.find("filtername given (j.doe), (%) (@)"), std::string::npos) << out_;
  EXPECT_NE(out_.find("filtername result (j.doe)"), std::string::npos) << out_;
  out_.clear();
  settings_.filter_to = 0;
  filter_user_name(log_, name, settings_);
  EXPECT_EQ(out_, "");
}

}  // namespace
}  // namespace vantorix
