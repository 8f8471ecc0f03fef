#include "radius/radius_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "logging/log.h"
#include "platform/console.h"
#include "process_state.h"
#include "userstore/user_store.h"

namespace vantorix {
namespace {

class RadiusSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_process_state();
    console_capture(&output_);
  }
  void TearDown() override { testing::reset_process_state(); }

  void apply(std::string_view key, std::string_view value) {
    radius_apply_key(settings_, file_settings_, key, value);
  }

  RadiusSettings settings_;
  UserFileSettings file_settings_;
  std::string output_;
};

TEST_F(RadiusSettingsTest, InitSetsTheDefaultsAndKeepsTheUserFileName) {
  RadiusData& data = radius_data();
  data.settings.port = 7;
  data.exchange.request_counter = 9;
  data.settings.attribute = std::string("x");  // a literal here draws GCC 12's false -Wrestrict at -O3
  data.exchange.recv_len = 100;
  user_store().settings.file_name = "mine.dat";
  user_store().table.store("someone", "pw");
  log_state().debug_mode = true;
  radius_init();
  EXPECT_TRUE(output_.find("Setting up Radius data") != std::string::npos);
  EXPECT_EQ(data.settings.host, "localhost");
  EXPECT_EQ(data.settings.port, 1645);
  EXPECT_EQ(data.settings.secret, "set one first");
  EXPECT_EQ(data.settings.secret->size(), 13u);
  EXPECT_FALSE(data.settings.attribute);
  EXPECT_EQ(data.connection.sock, kNoSocket);
  EXPECT_EQ(data.exchange.request_counter, 0);
  EXPECT_EQ(data.exchange.recv_len, 0);
  EXPECT_EQ(user_store().table.size(), 0u);
  EXPECT_EQ(user_store().settings.file_name, "mine.dat");
}

TEST_F(RadiusSettingsTest, KeysIgnoreLetterCaseAndTheLastOneWins) {
  apply("RADIUS_Host", "radius.example");
  EXPECT_EQ(settings_.host, "radius.example");
  apply("radius_host", "127.0.0.1");
  EXPECT_EQ(settings_.host, "127.0.0.1");
  apply("radius_secret", "first");
  apply("Radius_Secret", "second");
  EXPECT_EQ(settings_.secret, "second");
  apply("radius_attribute", "Filter-Id");
  EXPECT_EQ(settings_.attribute, "Filter-Id");
  apply("RADIUS_USER_FILE", "/var/lib/users.dat");
  EXPECT_EQ(file_settings_.file_name, "/var/lib/users.dat");
  apply("radius_port", "1812");
  EXPECT_EQ(settings_.port, 1812);
  apply("radius_port", "  18x12");
  EXPECT_EQ(settings_.port, 18);
  apply("radius_port", "abc");
  EXPECT_EQ(settings_.port, 0);

  // The config slot hands the same keys to the process-wide records.
  radius_config("radius_user_file", "slot.dat");
  radius_config("radius_host", "slot.example");
  EXPECT_EQ(user_store().settings.file_name, "slot.dat");
  EXPECT_EQ(radius_data().settings.host, "slot.example");
}

TEST_F(RadiusSettingsTest, OtherKeysChangeNothing) {
  for (const char* key : {"domain", "radius_hostname", "radius", "", "radius_host "}) {
    EXPECT_FALSE(radius_apply_key(settings_, file_settings_, key, "changed")) << key;
  }
  for (const char* key : {"radius_host", "RADIUS_PORT", "radius_secret", "radius_attribute", "radius_user_file"}) {
    EXPECT_TRUE(radius_apply_key(settings_, file_settings_, key, "1")) << key;
  }
  settings_ = {};
  file_settings_ = {};
  EXPECT_EQ(settings_.host, "localhost");
  EXPECT_EQ(settings_.secret, "set one first");
  EXPECT_FALSE(settings_.attribute);
  EXPECT_EQ(file_settings_.file_name, "radius_users.dat");
}

TEST_F(RadiusSettingsTest, OverlongSecretIsRefused) {
  log_state().debug_mode = true;
  apply("radius_secret", std::string(kMaxSecret + 1, 's'));
  EXPECT_EQ(settings_.secret, "set one first");
  EXPECT_TRUE(output_.find("ERROR: radius_secret is longer than 496 characters; the previous secret stays") !=
              std::string::npos);

  const std::string longest(kMaxSecret, 's');
  apply("radius_secret", longest);
  EXPECT_EQ(settings_.secret, longest);
  apply("radius_secret", longest + "t");
  EXPECT_EQ(settings_.secret, longest);
}

TEST_F(RadiusSettingsTest, PortThatIsNotANumberSaysWhichPortIsUsed) {
  log_state().debug_mode = true;
  const struct {
    const char* value;
    int port;
    const char* warning;  // null: none
  } cases[] = {
      {"1812", 1812, nullptr},
      {"0", 0, nullptr},
      {"65535", 65535, nullptr},
      {"01812", 1812, nullptr},
      {"1812x", 1812, "radius_port {1812x} is not a number from 0 to 65535: port 1812 will be used"},
      {"  18x12", 18, "radius_port {  18x12} is not a number from 0 to 65535: port 18 will be used"},
      {"70000", 70000, "radius_port {70000} is not a number from 0 to 65535: port 4464 will be used"},
      {"-1", -1, "radius_port {-1} is not a number from 0 to 65535: port 65535 will be used"},
      {"radius", 0, "radius_port {radius} is not a number from 0 to 65535: it reads as 0, so the radius/udp entry"},
      {"", 0, "radius_port {} is not a number from 0 to 65535: it reads as 0"},
  };
  for (const auto& c : cases) {
    output_.clear();
    apply("radius_port", c.value);
    EXPECT_EQ(settings_.port, c.port) << c.value;
    if (c.warning == nullptr) {
      EXPECT_EQ(output_.find("ERROR"), std::string::npos) << output_;
    } else {
      EXPECT_NE(output_.find(std::string("ERROR: ") + c.warning), std::string::npos) << output_;
    }
  }
}

}  // namespace
}  // namespace vantorix
