#include "radius/radius_settings.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "platform/console.h"

namespace vantorix {
namespace {

class RadiusSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_state() = {};
    backend_ops() = {};
    console_capture(&output_);
    radius_init();
  }
  void TearDown() override {
    console_capture(nullptr);
    radius_free();
    radius_data() = RadiusData{};
    backend_ops() = {};
    log_state() = {};
  }
  std::string output_;
};

TEST_F(RadiusSettingsTest, InitSetsTheDefaults) {
  RadiusData& data = radius_data();
  data.port = 7;
  data.request_counter = 9;
  data.attribute = "x";
  data.recv_len = 100;
  backend_ops().user_file_name = "mine.dat";
  log_state().debug_mode = true;
  radius_init();
  EXPECT_TRUE(output_.find("Setting up Radius data") != std::string::npos);
  EXPECT_EQ(data.host, "localhost");
  EXPECT_EQ(data.port, 1645);
  EXPECT_EQ(data.secret, "set one first");
  EXPECT_EQ(data.secret->size(), 13u);
  EXPECT_FALSE(data.attribute);
  EXPECT_EQ(data.sock, kNoSocket);
  EXPECT_EQ(data.request_counter, 0);
  EXPECT_EQ(data.recv_len, 0);
  EXPECT_EQ(backend_ops().user_file_name, "mine.dat") << "init leaves the user file name alone";
}

TEST_F(RadiusSettingsTest, KeysIgnoreLetterCaseAndTheLastOneWins) {
  RadiusData& data = radius_data();
  radius_config("RADIUS_Host", "radius.example");
  EXPECT_EQ(data.host, "radius.example");
  radius_config("radius_host", "127.0.0.1");
  EXPECT_EQ(data.host, "127.0.0.1");
  radius_config("radius_secret", "first");
  radius_config("Radius_Secret", "second");
  EXPECT_EQ(data.secret, "second");
  radius_config("radius_attribute", "Filter-Id");
  EXPECT_EQ(data.attribute, "Filter-Id");
  radius_config("RADIUS_USER_FILE", "/var/lib/users.dat");
  EXPECT_EQ(backend_ops().user_file_name, "/var/lib/users.dat");
  radius_config("radius_port", "1812");
  EXPECT_EQ(data.port, 1812);
}

TEST_F(RadiusSettingsTest, OtherKeysChangeNothing) {
  for (const char* key : {"domain", "radius_hostname", "radius", "", "radius_host "}) {
    radius_config(key, "changed");
  }
  EXPECT_EQ(radius_data().host, "localhost");
  EXPECT_EQ(radius_data().secret, "set one first");
  EXPECT_FALSE(radius_data().attribute);
  EXPECT_EQ(backend_ops().user_file_name, "radius_users.dat");
}

TEST(RadiusPortNumber, ReadsLeadingDecimalDigits) {
  struct Case {
    const char* value;
    std::int32_t port;
  };
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  for (const Case c : {Case{"1812", 1812}, Case{"  1812", 1812}, Case{"\t1812", 1812}, Case{"+1812", 1812},
                       Case{"-5", -5}, Case{"1812abc", 1812}, Case{"18 12", 18}, Case{"abc", 0}, Case{"", 0},
                       Case{"-", 0}, Case{"+-1", 0}, Case{"0", 0}, Case{"0001645", 1645},
                       Case{"2147483647", kMax}, Case{"99999999999999999999", kMax}, Case{"-2147483648", kMin},
                       Case{"-99999999999999999999", kMin}}) {
    EXPECT_EQ(parse_port_number(c.value), c.port) << c.value;
  }
}

TEST_F(RadiusSettingsTest, OverlongSecretIsRefused) {
  log_state().debug_mode = true;
  radius_config("radius_secret", std::string(kMaxSecret + 1, 's'));
  EXPECT_EQ(radius_data().secret, "set one first");
  EXPECT_TRUE(output_.find("ERROR: radius_secret is longer than 496 characters; the previous secret stays") !=
              std::string::npos);

  const std::string longest(kMaxSecret, 's');
  radius_config("radius_secret", longest);
  EXPECT_EQ(radius_data().secret, longest);
  radius_config("radius_secret", longest + "t");
  EXPECT_EQ(radius_data().secret, longest);
}

}  // namespace
}  // namespace vantorix
