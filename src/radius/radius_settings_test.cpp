#include "radius/radius_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "logging/log.h"
#include "platform/console.h"
#include "radius/radius_transport.h"
#include "userstore/user_store.h"

namespace vantorix {
namespace {

class RadiusSettingsTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  void SetUp() override { console_.capture(&output_); }

  void apply(std::string_view key, std::string_view value) {
    radius_apply_key(log_, settings_, file_settings_, key, value);
  }

  RadiusSettings settings_;
  UserFileSettings file_settings_;
  std::string output_;
};

TEST_F(RadiusSettingsTest, InitSetsTheDefaultsAndKeepsTheUserFileName) {
  RadiusData data;
  UserStore users;
  data.settings.port = 7;
  data.exchange.request_counter = 9;
  data.settings.attribute = std::string("x");  // a literal here draws GCC 12's false -Wrestrict at -O3
  data.exchange.recv_len = 100;
  users.settings.file_name = "mine.dat";
  users.table.store("someone", "pw");
  log_.state().debug_mode = true;
  radius_init(log_, data, users);
  EXPECT_TRUE(output_.find("Setting up Radius data") != std::string::npos);
  EXPECT_EQ(data.settings.host, "localhost");
  EXPECT_EQ(data.settings.port, 1645);
  EXPECT_EQ(data.settings.secret, "set one first");
  EXPECT_EQ(data.settings.secret->size(), 13u);
  EXPECT_FALSE(data.settings.attribute);
  EXPECT_FALSE(data.connection.open());
  EXPECT_EQ(data.exchange.request_counter, 0);
  EXPECT_EQ(data.exchange.recv_len, 0);
  EXPECT_EQ(users.table.size(), 0u);
  EXPECT_EQ(users.settings.file_name, "mine.dat");
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
}

TEST_F(RadiusSettingsTest, DeploymentKeysTakeTheirValuesOrSayWhatToFix) {
  const RadiusSettings defaults;
  EXPECT_EQ(defaults.retries, 2);
  EXPECT_EQ(defaults.timeout_seconds, 10);
  EXPECT_EQ(defaults.dead_time_seconds, 30);
  EXPECT_EQ(defaults.require_message_authenticator, MessageAuthenticatorPolicy::automatic);
  EXPECT_EQ(defaults.vsa_format, VsaFormat::raw);
  EXPECT_FALSE(defaults.calling_station_id);

  log_.state().debug_mode = true;
  EXPECT_TRUE(radius_apply_key(log_, settings_, file_settings_, "radius_retries", "4"));
  EXPECT_EQ(settings_.retries, 4);
  apply("RADIUS_TIMEOUT", "3");
  EXPECT_EQ(settings_.timeout_seconds, 3);
  apply("radius_dead_time", "0");
  EXPECT_EQ(settings_.dead_time_seconds, 0);
  apply("radius_timeout", "0");
  EXPECT_EQ(settings_.timeout_seconds, 1);
  EXPECT_NE(output_.find("ERROR: radius_timeout {0} is not a number from 1 to 300; 1 is used"), std::string::npos);
  apply("radius_retries", "99");
  EXPECT_EQ(settings_.retries, kMaxRetries);

  apply("radius_require_message_authenticator", "YES");
  EXPECT_EQ(settings_.require_message_authenticator, MessageAuthenticatorPolicy::yes);
  apply("radius_require_message_authenticator", "no");
  EXPECT_EQ(settings_.require_message_authenticator, MessageAuthenticatorPolicy::no);
  apply("radius_require_message_authenticator", "sometimes");
  EXPECT_EQ(settings_.require_message_authenticator, MessageAuthenticatorPolicy::no);
  EXPECT_NE(output_.find("ERROR: radius_require_message_authenticator {sometimes} is not one of yes, no or auto"),
            std::string::npos);
  apply("radius_require_message_authenticator", "Auto");
  EXPECT_EQ(settings_.require_message_authenticator, MessageAuthenticatorPolicy::automatic);

  apply("radius_vsa_format", "standard");
  EXPECT_EQ(settings_.vsa_format, VsaFormat::standard);
  apply("radius_vsa_format", "cooked");
  EXPECT_EQ(settings_.vsa_format, VsaFormat::standard);
  apply("radius_calling_station_id", "TRUE");
  EXPECT_TRUE(settings_.calling_station_id);
  apply("radius_calling_station_id", "yes");
  EXPECT_FALSE(settings_.calling_station_id) << "booleans follow the configuration file's rule";
  apply("radius_nas_identifier", "mail-1");
  EXPECT_EQ(settings_.nas_identifier, "mail-1");
  apply("radius_nas_identifier", std::string(kMaxNasIdentifier + 1, 'n'));
  EXPECT_EQ(settings_.nas_identifier, "mail-1");
}

TEST_F(RadiusSettingsTest, TlsTakesItsOwnPortAndSecretUnlessTheyAreGiven) {
  EXPECT_EQ(effective_secret(settings_), "set one first");
  EXPECT_EQ(default_server_port(settings_), 1645);
  apply("radius_transport", "TLS");
  EXPECT_EQ(settings_.transport, Transport::tls);
  EXPECT_EQ(effective_secret(settings_), "radsec");
  EXPECT_EQ(default_server_port(settings_), 2083);
  apply("radius_secret", "mine");
  apply("radius_port", "1645");
  EXPECT_EQ(effective_secret(settings_), "mine");
  EXPECT_EQ(default_server_port(settings_), 1645) << "a port given still wins";

  apply("radius_tls_ca", "/etc/ssl/radius-ca.pem");
  apply("radius_tls_cert", "/etc/vantorix/client.pem");
  apply("radius_tls_key", "/etc/vantorix/client.key");
  apply("radius_tls_server_name", "radius.example.org");
  EXPECT_EQ(settings_.tls_files.ca, "/etc/ssl/radius-ca.pem");
  EXPECT_EQ(settings_.tls_files.certificate, "/etc/vantorix/client.pem");
  EXPECT_EQ(settings_.tls_files.key, "/etc/vantorix/client.key");
  EXPECT_EQ(settings_.tls_server_name, "radius.example.org");
  log_.state().debug_mode = true;
  apply("radius_transport", "dtls");
  EXPECT_EQ(settings_.transport, Transport::tls);
  EXPECT_NE(output_.find("ERROR: radius_transport {dtls} is not one of udp or tls"), std::string::npos);
}

TEST_F(RadiusSettingsTest, OtherKeysChangeNothing) {
  for (const char* key : {"domain", "radius_hostname", "radius", "", "radius_host "}) {
    EXPECT_FALSE(radius_apply_key(log_, settings_, file_settings_, key, "changed")) << key;
  }
  for (const char* key : {"radius_host", "RADIUS_PORT", "radius_secret", "radius_attribute", "radius_user_file"}) {
    EXPECT_TRUE(radius_apply_key(log_, settings_, file_settings_, key, "1")) << key;
  }
  settings_ = {};
  file_settings_ = {};
  EXPECT_EQ(settings_.host, "localhost");
  EXPECT_EQ(settings_.secret, "set one first");
  EXPECT_FALSE(settings_.attribute);
  EXPECT_EQ(file_settings_.file_name, "radius_users.dat");
}

TEST_F(RadiusSettingsTest, OverlongSecretIsRefused) {
  log_.state().debug_mode = true;
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
  log_.state().debug_mode = true;
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
