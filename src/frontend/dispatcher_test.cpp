#include "frontend/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/help_info.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"
#include "platform/console.h"

namespace vantorix {
namespace {

// What the test slots saw and what they answer.
struct SlotLog {
  std::vector<std::string> calls;
  CommandWords words;
  int result = 1;
  RecordKind record_kind = RecordKind::none;
  bool expire = false;

  int record_int(const char* name, CommandWords& seen) {
    calls.push_back(name);
    words = seen;
    return result;
  }
  SlotResult record_slot(const char* name, CommandWords& seen) {
    return static_cast<SlotResult>(record_int(name, seen));
  }
  RecordResult record_user(const char* name, CommandWords& seen) {
    calls.push_back(name);
    words = seen;
    RecordResult answer;
    switch (record_kind) {
      case RecordKind::accepted: {
        UserRecord record;
        record.user_name = *seen[1];
        record.extra = "Class=gold";
        answer = RecordResult::accepted(record);
        break;
      }
      case RecordKind::failed:
        answer = RecordResult::failed("-DEAD Backend gone");
        break;
      case RecordKind::none:
        break;
    }
    answer.password_expired = expire;
    return answer;
  }
};

BackendOps full_table(SlotLog& slots) {
  BackendOps ops;
  ops.exit = [&slots](CommandWords& w) { return slots.record_slot("exit", w); };
  ops.check = [&slots](CommandWords& w) { return slots.record_user("check", w); };
  ops.lookup = [&slots](CommandWords& w) { return slots.record_user("lookup", w); };
  ops.help = [](CommandWords&) { return std::vector<std::string>{}; };
  ops.set = [&slots](CommandWords& w) { return slots.record_slot("set", w); };
  ops.mod = [&slots](CommandWords& w) { return slots.record_slot("mod", w); };
  ops.del = [&slots](CommandWords& w) { return slots.record_slot("del", w); };
  ops.search = [&slots](CommandWords& w) { return slots.record_int("search", w); };
  return ops;
}

class DispatcherTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  ReplyWriter writer_{console_, log_};
  void SetUp() override { console_.capture(&out_); }

  // The reply to one line, and the dispatcher's result in `result_`.
  std::string reply(std::string_view line) {
    out_.clear();
    result_ = dispatch_command(ops_, settings_, writer_, line);
    return out_;
  }

  SlotLog slots_;
  BackendOps ops_ = full_table(slots_);
  CoreSettings settings_;
  std::string out_;
  int result_ = -1;
};

TEST_F(DispatcherTest, EmptySlotsAreNotSupported) {
  ops_ = BackendOps{};
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
  EXPECT_TRUE(slots_.calls.empty());
}

TEST_F(DispatcherTest, CheckShowsAcceptedUserUnderTheTypedName) {
  settings_.lowercase_username = true;
  slots_.record_kind = RecordKind::accepted;
  EXPECT_EQ(reply("check Alice Secret 10.1.2.3 via  relay\n"), "+OK Alice config 0 Class=gold\n");
  EXPECT_EQ(result_, 0);
  ASSERT_EQ(slots_.calls, std::vector<std::string>{"check"});
  EXPECT_EQ(slots_.words[1], "alice");
  EXPECT_EQ(slots_.words[2], "Secret");
  EXPECT_EQ(slots_.words[3], "10.1.2.3 via  relay");
}

TEST_F(DispatcherTest, CheckRefusalsNameTheTypedUser) {
  EXPECT_EQ(reply("check bob pw\n"), "-ERR bob password wrong or not a valid user\n");
  slots_.expire = true;
  EXPECT_EQ(reply("check bob pw\n"), "-ERR bob password expired\n");
  slots_.expire = false;
  EXPECT_EQ(reply("check bob pw\n"), "-ERR bob password wrong or not a valid user\n");
  // A failed slot's line is the answer.
  slots_.record_kind = RecordKind::failed;
  EXPECT_EQ(reply("check bob pw\n"), "-DEAD Backend gone\n");
  EXPECT_EQ(reply("lookup bob\n"), "-DEAD Backend gone\n");
}

TEST_F(DispatcherTest, LookupQuotesTypedNameWhileSlotSeesLowerCase) {
  settings_.lowercase_username = true;
  EXPECT_EQ(reply("lookup Alice\n"), "-ERR Alice Not Located\n");
  EXPECT_EQ(slots_.words[1], "alice");
  slots_.record_kind = RecordKind::accepted;
  EXPECT_EQ(reply("lookup Alice\n"), "+OK Alice config 0 Class=gold\n");
}

TEST_F(DispatcherTest, FilterAppliesToUserNamesButNotSearchTexts) {
  settings_.filter_from = '.';
  settings_.filter_to = '_';
  EXPECT_EQ(reply("check j.doe.x pw\n"), "-ERR j.doe.x password wrong or not a valid user\n");
  EXPECT_EQ(slots_.words[1], "j_doe_x");
  reply("lookup j.doe\n");
  EXPECT_EQ(slots_.words[1], "j_doe");
  EXPECT_EQ(reply("set j.doe pw\n"), "+OK 'j.doe' has been added to database\n");
  EXPECT_EQ(slots_.words[1], "j_doe");
  EXPECT_EQ(reply("del j.doe\n"), "+OK 'j.doe' has been deleted\n");
  EXPECT_EQ(slots_.words[1], "j_doe");
  reply("search j.doe\n");
  EXPECT_EQ(slots_.words[1], "j.doe");
}

TEST_F(DispatcherTest, SetLowerCasesWithEitherSetting) {
  settings_.lowercase_username_set = true;
  reply("set Bob pw\n");
  EXPECT_EQ(slots_.words[1], "bob");
  // The set-only setting leaves the other commands alone.
  reply("del Bob\n");
  EXPECT_EQ(slots_.words[1], "Bob");
}

TEST_F(DispatcherTest, IntegerSlotResults) {
  slots_.result = 0;
  EXPECT_EQ(reply("set bob pw\n"), "-ERR 'bob' Failed to add (check database for fields match)\n");
  EXPECT_EQ(reply("del bob\n"), "-ERR 'bob' is not a valid user\n");
  EXPECT_EQ(reply("search bob\n"), "+OK Search Completed (out of 0 items)\n");
  EXPECT_EQ(reply("exit\n"), "-ERR Failed Exit\n");
  EXPECT_EQ(result_, 1);
  slots_.result = -1;
  for (const char* line : {"set bob pw\n", "del bob\n", "search bob\n"}) EXPECT_EQ(reply(line), "") << line;
  slots_.result = 7;
  EXPECT_EQ(reply("search bob\n"), "+OK Search Completed (out of 7 items)\n");
  EXPECT_EQ(reply("qUIT\n"), "+OK\n");
  EXPECT_EQ(result_, 1);
}

TEST_F(DispatcherTest, SearchMinimumCountsCharactersBeforeTheAtSignWithoutStars) {
  settings_.search_min = 3;
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
  ops.help = [](CommandWords&) { return std::vector<std::string>{"+DATA from help"}; };
  ops.extended = [this](CommandWords& w) {
    writer_.text("+DATA extended\n");
    return *w[0] == "known" ? kSlotSuccess : kSlotNegative;
  };
  ops_ = ops;
  EXPECT_EQ(reply("help\n"), "+DATA Valid commands\n+DATA from help\n+DATA extended\n+OK\n");
  EXPECT_EQ(reply("known\n"), "+DATA extended\n");
  EXPECT_EQ(reply("other\n"), "+DATA extended\n-ERR Command not supported 'other'\n");
}

TEST_F(DispatcherTest, DebugTogglesAndVersionAnswersTwoLines) {
  // In debug mode the reply is followed by its echo in the log.
  EXPECT_TRUE(reply("debug\n").starts_with("+OK Debug Turned ON\n"));
  EXPECT_TRUE(log_.state().debug_mode);
  EXPECT_TRUE(reply("debug\n").starts_with("+OK Debug Turned OFF\n"));
  EXPECT_FALSE(log_.state().debug_mode);
  EXPECT_TRUE(reply("debug\n").starts_with("+OK Debug Turned ON\n"));
  log_.state().debug_mode = false;
  EXPECT_EQ(reply("version\n"), "+OK Velkor's Vantorix Version External Authentication v2.4b\n+OK\n");
}

TEST_F(DispatcherTest, LineEndsAtItsFirstNulByte) {
  using namespace std::string_literals;
  EXPECT_EQ(reply("info\0garbage\n"s), "+DATA External Authentication v2.4b (Vantorix)\n+OK\n");
  EXPECT_EQ(reply("\0help\n"s), "-ERR Command not supported ''\n");
}

}  // namespace
}  // namespace vantorix
