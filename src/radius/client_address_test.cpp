#include "radius/client_address.h"

#include <gtest/gtest.h>

#include <string>

namespace vantorix {
namespace {

TEST(ClientAddress, AddressesAtTheStartAreShown) {
  const std::pair<const char*, std::size_t> addresses[] = {
      {"192.168.1.20", 12},         {"10.0.0.1 and more", 8},   {"127.0.0.1:4711", 9},
      {"0.0.0.0", 7},               {"::1", 3},                 {"::", 2},
      {"fe80::1%eth0", 7},          {"2001:db8::8a2e:370:7334", 23},
      {"1:2:3:4:5:6:7:8", 15},      {"::ffff:192.0.2.1", 16},   {"64:ff9b::192.0.2.33/96", 19},
      {"[2001:db8::1]:25", 13},     {"DEAD:beef::", 11},
  };
  for (const auto& [text, length] : addresses) {
    EXPECT_EQ(ip_address_prefix(text), length) << text;
    EXPECT_STREQ(client_address_for_log(std::string(text)), text);
  }
}

TEST(ClientAddress, AnythingElseIsHidden) {
  // The tail of a password with a blank in it lands in this group.
  const char* others[] = {"word2",     "secret 1.2.3.4", "1.2.3.4x",        "1.2.3.4.5", "256.1.1.1",
                          "1.2.3",     "12345",          "1:2:3:4:5:6:7",   "1::2::3",   "1:2:3:4:5:6:7:8:9",
                          "::1x",      "cafe",           "[::1",            ":1::",      "",
                          " 1.2.3.4", "1.2.3.04a"};
  for (const char* text : others) {
    EXPECT_EQ(ip_address_prefix(text), 0u) << text;
    EXPECT_STREQ(client_address_for_log(std::string(text)), "(hidden)") << text;
  }
  EXPECT_EQ(client_address_for_log(std::nullopt), nullptr);
}

}  // namespace
}  // namespace vantorix
