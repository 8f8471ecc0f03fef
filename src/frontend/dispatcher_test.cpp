#include "frontend/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/help_info.h"
#include "logging/log.h"
#include "platform/console.h"
#include "process_state.h"

namespace vantorix {
namespace {

// What the test slots saw and what they answer.
struct SlotLog {
  std::vector<std::string> calls;
  CommandWords words;
  int result = 1;
  RecordKind record_kind = RecordKind::none;
  bool expire = false;
};
SlotLog g_slots;

int record_int(const char* name, CommandWords& words) {
  g_slots.calls.push_back(name);
  g_slots.words = words;
  return g_slots.result;
}

SlotResult record_slot(const char* name, CommandWords& words) {
  return static_cast<SlotResult>(record_int(name, words));
}

RecordResult record_user(const char* name, CommandWords& words) {
  g_slots.calls.push_back(name);
  g_slots.words = words;
  if (g_slots.expire) dispatch_state().password_expired = true;
  switch (g_slots.record_kind) {
    case RecordKind::accepted: {
      UserRecord record;
      record.user_name = *words[1];
      record.extra = "Class=gold";
      return RecordResult::accepted(record);
    }
    case RecordKind::failed:
      reply_text("-DEAD Backend gone\n");
      return RecordResult::failed();
    case RecordKind::none:
      break;
  }
  return RecordResult::none();
}

BackendOps full_table() {
  BackendOps ops;
  ops.exit = [](CommandWords& w) { return record_slot("exit", w); };
  ops.check = [](CommandWords& w) { return record_user("check", w); };
  ops.lookup = [](CommandWords& w) { return record_user("lookup", w); };
  ops.help = show_help;
  ops.set = [](CommandWords& w) { return record_slot("set", w); };
  ops.mod = [](CommandWords& w) { return record_slot("mod", w); };
  ops.del = [](CommandWords& w) { return record_slot("del", w); };
  ops.search = [](CommandWords& w) { return record_int("search", w); };
  return ops;
}

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_process_state();
    backend_ops() = full_table();
    g_slots = {};
    console_capture(&out_);
  }
  void TearDown() override { testing::reset_process_state(); }

  // The reply to one line, and the dispatcher's result in `result_`.
  std::string reply(std::string_view line) {
    out_.clear();
    result_ = dispatch_command(line);
    return out_;
  }

  std::string out_;
  int result_ = -1;
};

TEST_F(DispatcherTest, EmptySlotsAreNotSupported) {
  backend_ops() = BackendOps{};
  const struct {
    const char* line;
    const char* reply;
  } cases[] = {
      {"help\n", "-ERR 'help' is not supported\n"},
      {"check alice secret\n", "-ERR 'check' is not supported\n"},
      {"check\n", "-ERR 'check' is not supported\n"},
      {"lookup alice\n", "-ERR 'lookup' is not supported\n"},
      {"set alice pw\n", "-ERR 'set' is not supported\n"},
      {"mod alice\n", "-ERR 'mod' is not supported\n"},
      {"del alice\n", "-ERR 'del' is not supported\n"},
      {"search a\n", "-ERR 'search' is not supported\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(reply(c.line), c.reply) << c.line;
  EXPECT_EQ(reply("exit\n"), "-ERR 'exit' is not supported\n");
  EXPECT_EQ(result_, 1);
}

TEST_F(DispatcherTest, RefusesMissingArgumentsAndStarsBeforeCallingSlots) {
  const struct {
    const char* line;
    const char* reply;
  } cases[] = {
      {"check\n", "-ERR No username/password provided\n"},
      {"check al*ce\n", "-ERR No username/password provided\n"},
      {"check al*ce pw\n", "-ERR Not allow '*' in user names\n"},
      {"lookup\n", "-ERR No username/password provided\n"},
      {"lookup *\n", "-ERR Not allow '*' in user names\n"},
      {"set\n", "-ERR No username provided\n"},
      {"set alice\n", "-ERR No password provided\n"},
      {"set a*b pw\n", "-ERR Sorry not allowed '*' in user names\n"},
      {"del\n", "-ERR No username provided\n"},
      {"del a*\n", "-ERR Not allow '*' in user names\n"},
      {"search\n", "-ERR No search field provided\n"},
      {"mod alice\n", "-ERR 'mod' is not supported\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(reply(c.line), c.reply) << c.line;
  EXPECT_TRUE(g_slots.calls.empty());
}

TEST_F(DispatcherTest, CheckShowsAcceptedUserUnderTheTypedName) {
  core_settings().lowercase_username = true;
  g_slots.record_kind = RecordKind::accepted;
  EXPECT_EQ(reply("check Alice Secret 10.1.2.3 via  relay\n"), "+OK Alice config 0 Class=gold\n");
  EXPECT_EQ(result_, 0);
  ASSERT_EQ(g_slots.calls, std::vector<std::string>{"check"});
  EXPECT_EQ(g_slots.words[1], "alice");
  EXPECT_EQ(g_slots.words[2], "Secret");
  EXPECT_EQ(g_slots.words[3], "10.1.2.3 via  relay");
}

TEST_F(DispatcherTest, CheckRefusalsNameTheTypedUser) {
  EXPECT_EQ(reply("check bob pw\n"), "-ERR bob password wrong or not a valid user\n");
  g_slots.expire = true;
  EXPECT_EQ(reply("check bob pw\n"), "-ERR bob password expired\n");
  // The flag is cleared before each check, so a stale one never shows.
  g_slots.expire = false;
  EXPECT_EQ(reply("check bob pw\n"), "-ERR bob password wrong or not a valid user\n");
  // A failed slot has answered on its own: the dispatcher adds nothing.
  g_slots.record_kind = RecordKind::failed;
  EXPECT_EQ(reply("check bob pw\n"), "-DEAD Backend gone\n");
  EXPECT_EQ(reply("lookup bob\n"), "-DEAD Backend gone\n");
}

TEST_F(DispatcherTest, LookupQuotesTypedNameWhileSlotSeesLowerCase) {
  core_settings().lowercase_username = true;
  EXPECT_EQ(reply("lookup Alice\n"), "-ERR Alice Not Located\n");
  EXPECT_EQ(g_slots.words[1], "alice");
  g_slots.record_kind = RecordKind::accepted;
  EXPECT_EQ(reply("lookup Alice\n"), "+OK Alice config 0 Class=gold\n");
}

TEST_F(DispatcherTest, FilterAppliesToUserNamesButNotSearchTexts) {
  core_settings().filter_from = '.';
  core_settings().filter_to = '_';
  EXPECT_EQ(reply("check j.doe.x pw\n"), "-ERR j.doe.x password wrong or not a valid user\n");
  EXPECT_EQ(g_slots.words[1], "j_doe_x");
  reply("lookup j.doe\n");
  EXPECT_EQ(g_slots.words[1], "j_doe");
  EXPECT_EQ(reply("set j.doe pw\n"), "+OK 'j.doe' has been added to database\n");
  EXPECT_EQ(g_slots.words[1], "j_doe");
  EXPECT_EQ(reply("del j.doe\n"), "+OK 'j.doe' has been deleted\n");
  EXPECT_EQ(g_slots.words[1], "j_doe");
  reply("search j.doe\n");
  EXPECT_EQ(g_slots.words[1], "j.doe");
}

TEST_F(DispatcherTest, SetLowerCasesWithEitherSetting) {
  core_settings().lowercase_username_set = true;
  reply("set Bob pw\n");
  EXPECT_EQ(g_slots.words[1], "bob");
  // The set-only setting leaves the other commands alone.
  reply("del Bob\n");
  EXPECT_EQ(g_slots.words[1], "Bob");
}

TEST_F(DispatcherTest, IntegerSlotResults) {
  g_slots.result = 0;
  EXPECT_EQ(reply("set bob pw\n"), "-ERR 'bob' Failed to add (check database for fields match)\n");
  EXPECT_EQ(reply("del bob\n"), "-ERR 'bob' is not a valid user\n");
  EXPECT_EQ(reply("search bob\n"), "+OK Search Completed (out of 0 items)\n");
  EXPECT_EQ(reply("exit\n"), "-ERR Failed Exit\n");
  EXPECT_EQ(result_, 1);
  g_slots.result = -1;
  for (const char* line : {"set bob pw\n", "del bob\n", "search bob\n"}) EXPECT_EQ(reply(line), "") << line;
  g_slots.result = 7;
  EXPECT_EQ(reply("search bob\n"), "+OK Search Completed (out of 7 items)\n");
  EXPECT_EQ(reply("qUIT\n"), "+OK\n");
  EXPECT_EQ(result_, 1);
}

TEST_F(DispatcherTest, SearchMinimumCountsCharactersBeforeTheAtSignWithoutStars) {
  core_settings().search_min = 3;
  EXPECT_EQ(reply("search ab*@xy\n"), "-ERR Search Field to short\n");
  EXPECT_EQ(reply("search a*b*\n"), "-ERR Search Field to short\n");
  EXPECT_EQ(reply("search abc@\n"), "+OK Search Completed (out of 1 items)\n");
  EXPECT_EQ(reply("search *a*b*c*\n"), "+OK Search Completed (out of 1 items)\n");
}

TEST_F(DispatcherTest, UnknownCommandsQuoteAtMostTwentyCharacters) {
  const struct {
    const char* line;
    const char* reply;
  } cases[] = {
      {"\n", "-ERR Command not supported '\n'\n"},
      {"   \n", "-ERR Command not supported ''\n"},
      {"QUIT\n", "-ERR Command not supported 'QUIT'\n"},
      {"check\talice\tsecret\tmore\n", "-ERR Command not supported 'check\talice\tsecret\tm'\n"},
      {"abcdefghijklmnopqrstuvwxyz\n", "-ERR Command not supported 'abcdefghijklmnopqrst'\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reply(c.line), c.reply) << c.line;
    EXPECT_EQ(result_, 0);
  }
}

TEST_F(DispatcherTest, ExtendedSlotAnswersUnknownCommandsAndFollowsHelp) {
  BackendOps ops;
  ops.help = [](CommandWords&) { reply_text("+DATA from help\n"); };
  ops.extended = [](CommandWords& w) {
    reply_text("+DATA extended\n");
    return *w[0] == "known" ? kSlotSuccess : kSlotNegative;
  };
  backend_ops() = ops;
  EXPECT_EQ(reply("help\n"), "+DATA from help\n+DATA extended\n+OK\n");
  EXPECT_EQ(reply("known\n"), "+DATA extended\n");
  EXPECT_EQ(reply("other\n"), "+DATA extended\n-ERR Command not supported 'other'\n");
}

TEST_F(DispatcherTest, DebugTogglesAndVersionAnswersTwoLines) {
  // In debug mode the reply is followed by its echo in the log.
  EXPECT_TRUE(reply("debug\n").starts_with("+OK Debug Turned ON\n"));
  EXPECT_TRUE(log_state().debug_mode);
  EXPECT_TRUE(reply("debug\n").starts_with("+OK Debug Turned OFF\n"));
  EXPECT_FALSE(log_state().debug_mode);
  EXPECT_TRUE(reply("debug\n").starts_with("+OK Debug Turned ON\n"));
  log_state().debug_mode = false;
  EXPECT_EQ(reply("version\n"), "+OK Velkor's Vantorix Version External Authentication v2.4b\n+OK\n");
}

TEST_F(DispatcherTest, LineEndsAtItsFirstNulByte) {
  using namespace std::string_literals;
  EXPECT_EQ(reply("info\0garbage\n"s), "+DATA External Authentication v2.4b (Vantorix)\n+OK\n");
  EXPECT_EQ(reply("\0help\n"s), "-ERR Command not supported ''\n");
}

}  // namespace
}  // namespace vantorix
